// The freeing service's contract: the report survives the bus field by field, and requests are bounded.
#include <gtest/gtest.h>

#include "freeservice/FreeServiceProtocol.h"

using namespace kestrum;
using namespace kestrum::freeservice;

TEST(FreeServiceProtocol, ReportTravelsFieldByField) {
    TFreeRunReport r;
    r.SnapshotTaken = true;
    r.Candidates = 101, r.Skipped = 102, r.Trimmed = 103, r.Gone = 104, r.NoRight = 105, r.Failed = 106;
    r.ResidentTaken = 5'000'000'001, r.AnonTaken = 5'000'000'002, r.BytesRequested = 5'000'000'003;
    r.KernelNanoseconds = 7, r.TrimNanoseconds = 8, r.ReclaimNanoseconds = 9;
    r.Reclaim = {6'000'000'001, 6'000'000'002, true};
    r.FirstError = 13;
    r.Route = TFreeRunRoute::Refused;
    r.Notice = "client side only";

    const QVariantMap map = ReportToMap(r);
    EXPECT_FALSE(map.contains("Route"));
    EXPECT_FALSE(map.contains("Notice"));
    const TFreeRunReport back = ReportFromMap(map);
    EXPECT_TRUE(back.SnapshotTaken);
    EXPECT_EQ(back.Candidates, 101u);
    EXPECT_EQ(back.Skipped, 102u);
    EXPECT_EQ(back.Trimmed, 103u);
    EXPECT_EQ(back.Gone, 104u);
    EXPECT_EQ(back.NoRight, 105u);
    EXPECT_EQ(back.Failed, 106u);
    EXPECT_EQ(back.ResidentTaken, 5'000'000'001u);
    EXPECT_EQ(back.AnonTaken, 5'000'000'002u);
    EXPECT_EQ(back.BytesRequested, 5'000'000'003u);
    EXPECT_EQ(back.KernelNanoseconds, 7u);
    EXPECT_EQ(back.TrimNanoseconds, 8u);
    EXPECT_EQ(back.ReclaimNanoseconds, 9u);
    EXPECT_EQ(back.Reclaim.BytesRequested, 6'000'000'001u);
    EXPECT_EQ(back.Reclaim.BytesDone, 6'000'000'002u);
    EXPECT_TRUE(back.Reclaim.Available);
    EXPECT_EQ(back.FirstError, 13);
    EXPECT_EQ(back.Route, TFreeRunRoute::Direct);
}

TEST(FreeServiceProtocol, ReportFromOtherVersionsKeepsDefaults) {
    // A newer service's extra key is ignored; a missing or mistyped one keeps the default.
    const QVariantMap map{
        {"Trimmed", 3u}, {"SomeFutureField", 99u}, {"Gone", QStringLiteral("not a number")}, {"SnapshotTaken", 1u}};
    const TFreeRunReport r = ReportFromMap(map);
    EXPECT_EQ(r.Trimmed, 3u);
    EXPECT_EQ(r.Gone, 0u);
    EXPECT_FALSE(r.SnapshotTaken);
}

TEST(FreeServiceProtocol, AllUsersTravelsOnlyWhenAskedFor) {
    TFreeRunRequest request;
    EXPECT_FALSE(RequestOptionsToMap(request).contains(kOptionAllUsers)) << "an older service would refuse it";
    request.AllUsers = true;
    TFreeRunRequest back;
    ASSERT_TRUE(ParseRequest(0, {}, RequestOptionsToMap(request), back).isEmpty());
    EXPECT_TRUE(back.AllUsers);
}

TEST(FreeServiceProtocol, RequestsAreCheckedAndBounded) {
    const QString longName(kMaxNameBytes + 1, u'a');
    const QString wideName(kMaxNameBytes / 2 + 1, QChar(0x00e9)); // two UTF-8 bytes each
    QStringList tooMany;
    for (int i = 0; i <= kMaxNames; ++i) tooMany << QString::number(i);
    QStringList mostAllowed;
    for (int i = 0; i < kMaxNames; ++i) mostAllowed << QString(kMaxNameBytes, u'x');

    struct TCase {
        const char* What;
        uint8_t Mode;
        QStringList Names;
        QVariantMap Options;
        bool Sound;
    };
    const TCase cases[] = {
        {"all", 0, {}, {}, true},
        {"smart with names", 3, {"firefox-esr", "Xorg"}, {{kOptionFollowUpReclaim, false}}, true},
        {"the most names, each as long as allowed", 2, mostAllowed, {}, true},
        {"unknown mode", 4, {}, {}, false},
        {"mode 255", 255, {}, {}, false},
        {"one name too many", 1, tooMany, {}, false},
        {"name too long", 1, {longName}, {}, false},
        {"name too long in bytes", 1, {wideName}, {}, false},
        {"name with a folder", 1, {"/usr/bin/firefox"}, {}, false},
        {"unknown option", 0, {}, {{"NoSwap", true}}, false},
        {"option of the wrong type", 0, {}, {{kOptionFollowUpReclaim, QStringLiteral("yes")}}, false},
        {"all users", 1, {"x"}, {{kOptionAllUsers, true}}, true},
        {"all users as a number", 1, {"x"}, {{kOptionAllUsers, 1}}, false},
        {"never-trim names", 3, {}, {{kOptionNeverTrim, QStringList{"python3"}}}, true},
        {"never-trim name with a folder", 3, {}, {{kOptionNeverTrim, QStringList{"/bin/sh"}}}, false},
        {"never-trim not a list", 3, {}, {{kOptionNeverTrim, 5}}, false},
        {"spared ids", 0, {}, {{kOptionSparedIds, QVariant::fromValue(QList<uint>{7, 8})}}, true},
        {"spared ids as text", 0, {}, {{kOptionSparedIds, QStringLiteral("7")}}, false},
    };
    for (const TCase& c : cases) {
        TFreeRunRequest out;
        out.Mode = 77;
        const QString error = ParseRequest(c.Mode, c.Names, c.Options, out);
        EXPECT_EQ(error.isEmpty(), c.Sound) << c.What << ": " << error.toStdString();
        if (c.Sound) {
            EXPECT_EQ(out.Mode, c.Mode) << c.What;
            EXPECT_EQ(out.Selection, c.Names) << c.What;
        } else {
            EXPECT_EQ(out.Mode, 77) << c.What << ": a refused request leaves the output alone";
        }
    }
    TFreeRunRequest out;
    ASSERT_TRUE(ParseRequest(0, {}, RequestOptionsToMap({0, {}, false}), out).isEmpty());
    EXPECT_FALSE(out.FollowUpReclaim);
    // The protection travels with the request.
    TFreeRunRequest sent{1, {"a"}, true, false, {"python3", "org.gimp.GIMP"}, {11, 12}};
    ASSERT_TRUE(ParseRequest(1, {"a"}, RequestOptionsToMap(sent), out).isEmpty());
    EXPECT_EQ(out.NeverTrim, sent.NeverTrim);
    EXPECT_EQ(out.SparedIds, sent.SparedIds);
}

TEST(FreeServiceProtocol, TopProgramsTravelAndAreBounded) {
    TFreeRunReport r;
    r.TopPrograms = {{"firefox-esr", 5'000'000'000}, {"python3.11", 7}};
    EXPECT_EQ(ReportFromMap(ReportToMap(r)).TopPrograms, r.TopPrograms);
    QVariantMap map = ReportToMap(r);
    map.insert("TopPrograms.Names", QStringList{"a", "b", "c", "d", "e", "f", "g"});
    map.insert("TopPrograms.Bytes", QVariant::fromValue(QList<qulonglong>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ReportFromMap(map).TopPrograms.size(), size_t(TFreeRunReport::TopProgramCount));
    map.insert("TopPrograms.Bytes", QStringLiteral("nonsense"));
    EXPECT_TRUE(ReportFromMap(map).TopPrograms.empty());
}
