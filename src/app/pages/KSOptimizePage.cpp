#include "app/pages/KSOptimizePage.h"

#include "i18n/OrvMultiLangs.h"

namespace kestrum {

TKSOptimizePage::TKSOptimizePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsOptimize"));
}

TKSOptimizePage::~TKSOptimizePage() = default;

void TKSOptimizePage::ApplyLanguage(TOrvMultiLangs& langs) {}

} // namespace kestrum
