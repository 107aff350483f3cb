#pragma once
#include <QStringList>

// `kestrum-cli language ID`: tells a running Kestrum on this X display to switch its interface language.
int LanguageCommand(const QStringList& args);
