#include "app/pages/KSLogsPage.h"

#include "i18n/OrvMultiLangs.h"

namespace kestrum {

TKSLogsPage::TKSLogsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsLogs"));
}

TKSLogsPage::~TKSLogsPage() = default;

void TKSLogsPage::ApplyLanguage(TOrvMultiLangs& langs) {}

} // namespace kestrum
