#pragma once
#include <QStringList>

#include "engine/FreeRunReport.h"

namespace kestrum {

// kestrum-cli protect|unprotect NAME: adds NAME to or removes it from the never-trim list.
int ProtectCommand(const QStringList& args, bool protect);
// kestrum-cli list [--tsv]: the running programs, their memory and whether and why the next run spares them.
int ListCommand(const QStringList& args);
// The programs that gave the most in a run, one line each.
void PrintTopPrograms(const TFreeRunReport& report);

} // namespace kestrum
