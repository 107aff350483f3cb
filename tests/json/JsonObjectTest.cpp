// The member operations of TJSONObject: lookups, typed fetches, stores, ownership and copies.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "support/KSUtils.h"
#include "support/_OrvJSON.h"
#include "support/_OrvJSONTokener.h"

namespace kestrum {
namespace {

const QString K(const char* key) {
    return QString::fromUtf8(key);
}

TEST(JsonObject, KeysIgnoreCaseAndKeepTheirFirstSpelling) {
    TJSONObject o;
    o.StoreInt(K("A"), 1).StoreText(K("b"), K("x"));
    EXPECT_TRUE(o.HasKey(K("a")));
    o.StoreInt(K("a"), 2);
    EXPECT_EQ(o.AsText(), K(R"({"A":2,"b":"x"})"));
    EXPECT_EQ(o.FetchInt(K("a")), 2);
    EXPECT_TRUE(o.HasKey(K("\u00C9t\u00E9")) == false);
    o.StoreBool(K("\u00C9t\u00E9"), true);
    EXPECT_TRUE(o.FetchBool(K("\u00E9T\u00C9"))) << "case folding beyond ASCII";
}

TEST(JsonObject, RepeatedKeyFetchesTheFirstMember) {
    TJSONObject o(K(R"({"x":1,"x":2})"));
    EXPECT_EQ(o.KeyNames(), (QStringList{K("x"), K("x")}));
    EXPECT_EQ(o.FetchInt(K("x")), 1);
    o.StoreInt(K("X"), 5); // replaces the first only
    EXPECT_EQ(o.AsText(), K(R"({"x":5,"x":2})"));
}

TEST(JsonObject, TextsAreStoredEscapedAndFetchedBack) {
    TJSONObject o(K(R"({"v":"a/b"})"));
    EXPECT_EQ(o.Fetch(K("v")).AsText(), K(R"(a\/b)"));
    EXPECT_EQ(o.FetchText(K("v")), K("a/b"));

    const QString texts[] = {K("line\nbreak"), K("tab\tcr\r"), K(R"(C:\new\table "q" a/b)"), K(R"(\\/)"), K("")};
    for (const QString& text : texts) {
        TJSONObject s;
        s.StoreText(K("t"), text);
        EXPECT_FALSE(s.AsText().contains(u'\n'));
        EXPECT_EQ(s.FetchText(K("t")), text) << text.toStdString();
    }
    TJSONObject lf;
    lf.StoreText(K("t"), K("a\nb"));
    EXPECT_EQ(lf.AsText(), K(R"({"t":"a\\nb"})"));
}

TEST(JsonObject, FetchIntRoundsHalvesToEven) {
    TJSONObject o(
        K("{s25:'2.5', s35:'3.5', sm25:' -2.5 ', sm35:'-3.5', s26:'2.6', d29:2.9, dm29:-2.9, i:0x7, big:1e20, "
          "sbig:'-1e20'}"));
    struct {
        const char* Key;
        int32_t Expected;
    } cases[] = {{"s25", 2},
                 {"s35", 4},
                 {"sm25", -2},
                 {"sm35", -4},
                 {"s26", 3},
                 {"d29", 2},
                 {"dm29", -2},
                 {"i", 7},
                 {"big", std::numeric_limits<int32_t>::max()},
                 {"sbig", std::numeric_limits<int32_t>::min()}};
    for (auto& c : cases) EXPECT_EQ(o.FetchInt(K(c.Key)), c.Expected) << c.Key;
    EXPECT_DOUBLE_EQ(o.FetchFloat(K("s25")), 2.5);
    EXPECT_DOUBLE_EQ(o.FetchFloat(K("i")), 7.0);
}

TEST(JsonObject, FetchBoolAcceptsBooleansAndTheirTexts) {
    TJSONObject o(K("{a:true, b:'FALSE', c:\"True\", d:1, e:'yes'}"));
    EXPECT_TRUE(o.FetchBool(K("a")));
    EXPECT_FALSE(o.FetchBool(K("b")));
    EXPECT_TRUE(o.FetchBool(K("c")));
    // A copy of a Boolean is still a Boolean.
    o.StoreValue(K("f"), JSONFalse()->Duplicate());
    o.StoreValue(K("t"), JSONTrue()->Duplicate());
    EXPECT_FALSE(o.FetchBool(K("f")));
    EXPECT_TRUE(o.FetchBool(K("t")));
    EXPECT_THROW(o.FetchBool(K("d")), ClassCastException);
    EXPECT_THROW(o.FetchBool(K("e")), ClassCastException);
}

TEST(JsonObject, NullAndMissingMembers) {
    TJSONObject o(K("{n:null, z:0}"));
    EXPECT_TRUE(o.IsNullAt(K("n")));
    EXPECT_TRUE(o.IsNullAt(K("missing")));
    EXPECT_FALSE(o.IsNullAt(K("z")));
    EXPECT_TRUE(o.HasKey(K("n")));
    EXPECT_EQ(o.Lookup(K("missing")), nullptr);
    EXPECT_EQ(o.FetchText(K("n")), K("null"));
}

// Each failing call with its exception class and message.
TEST(JsonObject, ErrorsNameTheMember) {
    TJSONObject o(K("{i:1, b:true, s:'abc', o:{}, a:[]}"));
    struct TCase {
        std::function<void()> Call;
        const char* Message;
    } cases[] = {
        {[&] { o.Fetch(K("zz")); }, R"(TJSONObject["zz"] not found.)"},
        {[&] { o.FetchObject(K("i")); }, R"(TJSONObject["i"] is not a TJSONObject.)"},
        {[&] { o.FetchBool(K("i")); }, R"(TJSONObject["i"] is not a Boolean.)"},
        {[&] { o.FetchFloat(K("b")); }, R"(TJSONObject["b"] is not a number.)"},
        {[&] { o.FetchInt(K("a")); }, R"(TJSONObject["a"] is not a number.)"},
        {[&] { o.FetchText(K("q\"")); }, R"(TJSONObject["q\""] not found.)"},
        {[&] { o.Lookup(QString()); }, "Null key"},
        {[&] { o.StoreInt(QString(), 1); }, "Null key."},
        {[&] { o.Fetch(K("a")).Duplicate(); }, "JSON: Not Implmented!"},
        {[&] { JSONNull()->Duplicate(); }, "JSON: Not Implmented!"},
    };
    for (auto& c : cases) {
        try {
            c.Call();
            ADD_FAILURE() << "no error for " << c.Message;
        } catch (const JSONException& e) {
            EXPECT_EQ(e.Message(), K(c.Message));
        }
    }
    EXPECT_THROW(o.Fetch(K("zz")), NoSuchElementException);
    EXPECT_THROW(o.FetchObject(K("s")), NoSuchElementException);
    EXPECT_THROW(o.FetchFloat(K("o")), NumberFormatException);
    EXPECT_THROW(o.Lookup(QString()), NullPointerException);
    EXPECT_THROW(o.Fetch(K("a")).Duplicate(), NotImplmentedFeature);
    EXPECT_THROW(o.FetchFloat(K("s")), EConvertError);
    EXPECT_THROW(o.FetchInt(K("s")), EConvertError);
}

TEST(JsonObject, StoreReplacesInPlaceAndNoValueRemoves) {
    TJSONObject o;
    o.StoreInt(K("a"), 1).StoreInt(K("b"), 2).StoreInt(K("c"), 3);
    o.StoreValue(K("B"), TJSONValuePtr(new _String(K("two"))));
    EXPECT_EQ(o.AsText(), K(R"({"a":1,"b":"two","c":3})"));
    o.StoreValue(K("a"), nullptr);
    o.StoreValue(K("absent"), nullptr);
    EXPECT_EQ(o.AsText(), K(R"({"b":"two","c":3})"));
    o.StoreBool(K("c"), false).StoreValue(K("c"), TJSONValuePtr(JSONNull()));
    EXPECT_EQ(o.AsText(), K(R"({"b":"two","c":null})"));
}

TEST(JsonObject, DetachHandsOwnershipToTheCaller) {
    TJSONValuePtr inner;
    {
        TJSONObject o(K("{a:{b:[1,2]}, c:true}"));
        inner = o.Detach(K("A"));
        EXPECT_EQ(o.Detach(K("a")), nullptr);
        TJSONValuePtr shared = o.Detach(K("c"));
        EXPECT_EQ(shared.get(), JSONTrue());
        EXPECT_EQ(o.AsText(), K("{}"));
    }
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->AsText(), K(R"({"b":[1,2]})"));
    EXPECT_EQ(JSONTrue()->AsText(), K("true")) << "the shared constant outlives every container";
}

TEST(JsonObject, DuplicateIsADeepEqualCopy) {
    TJSONObject o(K(R"({"s":"a/b","i":0x10,"d":2.5,"t":true,"n":null,"x":1,"x":2,"arr":[1,,{"k":"v"}],"o":{"p":[]}})"));
    TJSONValuePtr copy = o.Duplicate();
    auto* c = dynamic_cast<TJSONObject*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->AsText(), o.AsText());
    EXPECT_EQ(c->FetchText(K("s")), K("a/b"));
    EXPECT_EQ(c->Fetch(K("i")).ClassName(), K("_Integer"));
    EXPECT_EQ(c->Lookup(K("t")), JSONTrue());
    c->FetchObject(K("o")).StoreInt(K("q"), 1);
    EXPECT_EQ(o.FetchObject(K("o")).AsText(), K(R"({"p":[]})")) << "the copy is independent";

    _String s(K("x/y"));
    EXPECT_TRUE(s.IsSame(s.Duplicate().get()));
    EXPECT_EQ(_Integer(-4).Duplicate()->AsText(), K("-4"));
    EXPECT_EQ(_Double(0.25).Duplicate()->AsText(), K("0.25"));
}

TEST(JsonObject, SamenessRules) {
    _String a(K("Ab")), b(K("Ab")), c(K("ab"));
    EXPECT_TRUE(a.IsSame(&b));
    EXPECT_FALSE(a.IsSame(&c));
    EXPECT_TRUE(JSONNull()->IsSame(nullptr));
    EXPECT_FALSE(JSONNull()->IsSame(&a));
    _Integer one(1), other(1);
    EXPECT_TRUE(one.IsSame(&one));
    EXPECT_FALSE(one.IsSame(&other));
}

TEST(JsonValues, TextsOfScalars) {
    EXPECT_EQ(_Double(-1.5).AsInt(), -1);
    EXPECT_EQ(_Double(std::nan("")).AsInt(), 0);
    EXPECT_EQ(_Double(1e300).AsText(), K("1E300"));
    EXPECT_EQ(_Double(-2.5e-7).AsText(), K("-2.5E-7"));
    EXPECT_EQ(_Double(1.0 / 3).AsText(), K("0.333333333333333"));
    EXPECT_EQ(_Integer(std::numeric_limits<int32_t>::min()).AsText(), K("-2147483648"));
    EXPECT_EQ(QuoteText(QString()), K("\"\""));
    EXPECT_EQ(QuoteText(K("\b\f\x1f</")), K("\"\b\f\\u001F<\\/\""));
    EXPECT_TRUE(TJSONObject().AsText() == K("{}"));
    JSONTokener x(K("?"));
    EXPECT_EQ(static_cast<TZAbstractObject&>(x).TZAbstractObject::AsText().left(13), K("JSONTokener <"));
}

} // namespace
} // namespace kestrum
