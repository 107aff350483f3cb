// libFuzzer target for the JSON reader: any input either parses or raises one of the library's errors,
// and whatever parses serializes to a text that parses again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/KSUtils.h"
#include "support/_OrvJSON.h"
#include "support/_OrvJSONTokener.h"

using namespace kestrum;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void ExerciseMembers(const TJSONObject& o) {
    for (const QString& key : o.KeyNames()) {
        if (key.isEmpty()) continue;
        Check(o.HasKey(key));
        try {
            (void)o.FetchText(key);
            (void)o.FetchInt(key);
            (void)o.FetchBool(key);
        } catch (const JSONException&) {
        } catch (const EConvertError&) {
        }
        if (auto* inner = dynamic_cast<const TJSONObject*>(o.Lookup(key))) ExerciseMembers(*inner);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        TJSONObject o(text);
        QString serialized = o.AsText();
        TJSONObject again(serialized);
        Check(again.KeyNames().size() == o.KeyNames().size());
        Check(o.Duplicate()->AsText() == serialized);
        ExerciseMembers(o);
    } catch (const JSONException&) {
    } catch (const EConvertError&) {
    }
    // The array reader on its own.
    try {
        JSONTokener x(text);
        TJSONArray a(x);
        (void)a.AsText();
    } catch (const JSONException&) {
    } catch (const EConvertError&) {
    }
    return 0;
}
