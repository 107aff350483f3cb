#pragma once
#include <QString>

namespace kestrum {

// One known language pack file and the values of its "HEAD" section.
class TOrvLanguage {
public:
    QString FileName;
    QString LCID;
    QString Code;
    QString Name;
    bool Selected = false;
};

} // namespace kestrum
