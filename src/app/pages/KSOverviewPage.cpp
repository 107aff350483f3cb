#include "app/pages/KSOverviewPage.h"

#include "i18n/OrvMultiLangs.h"

namespace kestrum {

TKSOverviewPage::TKSOverviewPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsOverview"));
}

TKSOverviewPage::~TKSOverviewPage() = default;

void TKSOverviewPage::ApplyLanguage(TOrvMultiLangs& langs) {}

void TKSOverviewPage::SetOptimizeButtonEnabled(bool on) {
    FOptimizeEnabled = on;
}

bool TKSOverviewPage::OptimizeButtonEnabled() const {
    return FOptimizeEnabled;
}

} // namespace kestrum
