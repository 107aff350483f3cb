// Parsing and serializing whole texts: the lenient syntax, number recognition and every syntax error.
#include <gtest/gtest.h>

#include "support/KSUtils.h"
#include "support/_OrvJSON.h"
#include "support/_OrvJSONTokener.h"

namespace kestrum {
namespace {

struct TRoundTrip {
    const char* Text;
    const char* Serialized;
};

class JsonRoundTrip : public testing::TestWithParam<TRoundTrip> {};

TEST_P(JsonRoundTrip, SerializesAsExpected) {
    TJSONObject o(QString::fromUtf8(GetParam().Text));
    EXPECT_EQ(o.AsText(), QString::fromUtf8(GetParam().Serialized));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonRoundTrip,
    testing::Values(TRoundTrip{R"({"visible":true,"pos_x":12})", R"({"visible":true,"pos_x":12})"},
                    TRoundTrip{"{a=>1; 'b'=2, # note\n c:3}", R"({"a":1,"b":2,"c":3})"},
                    TRoundTrip{"{ /* block */ a // line\n : 1 }trailing text", R"({"a":1})"},
                    TRoundTrip{"{a:1,}", R"({"a":1})"}, TRoundTrip{"{}", "{}"},
                    // A quoted value is stored escaped, and the serializer escapes the stored text again.
                    TRoundTrip{R"({"v":"a/b"})", R"({"v":"a\\/b"})"}, TRoundTrip{R"({"v":"<\/x"})", R"({"v":"<\\/x"})"},
                    TRoundTrip{R"({"v":"\u0041\b\t"})", R"({"v":"Ab\\t"})"},
                    TRoundTrip{R"({"v":'it"s'})", R"({"v":"it\\\"s"})"},
                    TRoundTrip{"{\"v\":\"\x01\"}", R"({"v":"\u0001"})"},
                    // Repeated keys stay two members, each written with its own value.
                    TRoundTrip{R"({"x":1,"x":2})", R"({"x":1,"x":2})"},
                    TRoundTrip{"{true:1, null:2, 7:3}", R"({"true":1,"null":2,"7":3})"},
                    TRoundTrip{"{a: hello  world }", R"({"a":"hello  world"})"}, TRoundTrip{"{a:[1,]}", R"({"a":[1]})"},
                    TRoundTrip{"{a:[,1]}", R"({"a":[null,1]})"}, TRoundTrip{"{a:[1,,2;3]}", R"({"a":[1,null,2,3]})"},
                    TRoundTrip{"{a:[], b:[[]], c:{}}", R"({"a":[],"b":[[]],"c":{}})"}));

// How an unquoted or quoted token is recognised.
struct TToken {
    const char* Token;
    const char* ClassName;
    const char* Text; // AsText of the value
};

class JsonToken : public testing::TestWithParam<TToken> {};

TEST_P(JsonToken, IsRecognised) {
    TJSONObject o(QStringLiteral("{v:%1}").arg(QString::fromUtf8(GetParam().Token)));
    TZAbstractObject& v = o.Fetch(QStringLiteral("v"));
    EXPECT_EQ(v.ClassName(), QString::fromUtf8(GetParam().ClassName));
    EXPECT_EQ(v.AsText(), QString::fromUtf8(GetParam().Text));
}

INSTANTIATE_TEST_SUITE_P(Tokens, JsonToken,
                         testing::Values(TToken{"0x1F", "_Integer", "31"}, TToken{"0XfF", "_Integer", "255"},
                                         TToken{"0xFFFFFFFF", "_Integer", "-1"}, TToken{"0x100000001", "_Integer", "1"},
                                         TToken{"0x1G", "_String", "0x1G"}, TToken{"0x", "_String", "0x"},
                                         TToken{"-0x1F", "_Integer", "-31"}, TToken{"12", "_Double", "12"},
                                         TToken{"1.5e3", "_Double", "1500"}, TToken{"-.5", "_Double", "-0.5"},
                                         TToken{"+7.", "_Double", "7"},
                                         TToken{"123456789012345", "_Double", "123456789012345"},
                                         TToken{"1e15", "_Double", "1E15"}, TToken{"0.0001", "_Double", "0.0001"},
                                         TToken{"0.00001", "_Double", "1E-5"}, TToken{"0.1", "_Double", "0.1"},
                                         TToken{"1e999", "_String", "1e999"}, TToken{"1e", "_String", "1e"},
                                         TToken{"-", "_String", "-"}, TToken{"Oct", "_String", "Oct"},
                                         TToken{"o1", "_String", "o1"}, TToken{"inf", "_String", "inf"},
                                         TToken{"TRUE", "_Boolean", "true"}, TToken{"False", "_Boolean", "false"},
                                         TToken{"NULL", "NULL", "null"}, TToken{"'0x1F'", "_String", "0x1F"}));

TEST(JsonParse, SharedConstantsAreHandedOut) {
    TJSONObject o(QStringLiteral("{a:true,b:FALSE,c:null}"));
    EXPECT_EQ(o.Lookup(QStringLiteral("a")), JSONTrue());
    EXPECT_EQ(o.Lookup(QStringLiteral("b")), JSONFalse());
    EXPECT_EQ(o.Lookup(QStringLiteral("c")), JSONNull());
}

TEST(JsonParse, QuotedKeyIsTakenInItsStoredForm) {
    TJSONObject o(QStringLiteral(R"({"a/b":1})"));
    EXPECT_EQ(o.KeyNames(), QStringList{QStringLiteral("a\\/b")});
    EXPECT_TRUE(o.HasKey(QStringLiteral("A\\/B")));
}

TEST(JsonParse, ArrayCountsAndJoins) {
    TJSONObject o(QStringLiteral("{a:[1,,'x',true]}"));
    auto* a = dynamic_cast<TJSONArray*>(o.Lookup(QStringLiteral("a")));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Count(), 4);
    EXPECT_EQ(a->JoinValues(QStringLiteral(" | ")), QStringLiteral(R"(1 | null | "x" | true)"));
}

// Every syntax error, with the reason its message starts with.
struct TBadText {
    const char* Text;
    const char* Reason;
};

class JsonParseError : public testing::TestWithParam<TBadText> {};

TEST_P(JsonParseError, NamesTheReason) {
    try {
        TJSONObject o(QString::fromUtf8(GetParam().Text));
        FAIL() << "parsed: " << o.AsText().toStdString();
    } catch (const ParseException& e) {
        EXPECT_TRUE(e.Message().startsWith(QString::fromUtf8(GetParam().Reason) + QStringLiteral(" at character ")))
            << e.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonParseError,
    testing::Values(
        TBadText{"", R"(A TJSONObject must begin with "{")"}, TBadText{"[1]", R"(A TJSONObject must begin with "{")"},
        TBadText{R"({"a":1)", R"(Expected a "," or "}")"}, TBadText{R"({"a":1 "b":2})", R"(Expected a "," or "}")"},
        TBadText{R"({"a" 1})", R"(Expected a ":" after a key)"},
        TBadText{R"({"a":1,)", R"(A TJSONObject must end with "}")"},
        TBadText{"{", R"(A TJSONObject must end with "}")"}, TBadText{R"({"a":})", "Missing value."},
        TBadText{R"({"a":[1,:]})", "Missing value."}, TBadText{R"({"a":[1})", R"(Expected a "," or "]")"},
        TBadText{R"({"a":"abc)", "Unterminated string"}, TBadText{"{\"a\":\"ab\nc\"}", "Unterminated string"},
        TBadText{R"({"a":"ab\)", "Unterminated string"}, TBadText{"{/* never closed", "Unclosed comment."},
        TBadText{R"({"a":"\u00"})", "Substring bounds error"}));

TEST(JsonParse, ErrorMessageShowsPositionAndSurroundings) {
    try {
        TJSONObject o(QStringLiteral(R"({"a" 1})"));
        FAIL();
    } catch (const ParseException& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Expected a \":\" after a key at character 7 of {\"a\" 1} próximo a : }\n\r"
                                 " erro no caracter : 7"));
    }
}

TEST(JsonParse, ArrayMustStartWithBracket) {
    JSONTokener x(QStringLiteral("{}"));
    EXPECT_THROW(TJSONArray a(x), ParseException);
}

TEST(JsonParse, InvalidUnicodeEscapeIsAConversionError) {
    EXPECT_THROW(TJSONObject(QStringLiteral(R"({"a":"\uZZZZ"})")), EConvertError);
}

std::string Nested(int depth) {
    return "{\"a\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST(JsonParse, NestingDepthIsLimited) {
    // The object itself is one level.
    EXPECT_NO_THROW(TJSONObject(QString::fromStdString(Nested(JSONTokener::MaxDepth - 1))));
    EXPECT_THROW(TJSONObject(QString::fromStdString(Nested(JSONTokener::MaxDepth))), ParseException);
    try {
        TJSONObject o(QString(1000000, u'['));
        FAIL();
    } catch (const ParseException& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("A TJSONObject must begin with")));
    }
    try {
        TJSONObject o(QStringLiteral("{a:") + QString(1000000, u'['));
        FAIL();
    } catch (const ParseException& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Nesting too deep"))) << e.Message().left(80).toStdString();
    }
}

TEST(JsonTokener, EndOfTextReadsAsZero) {
    JSONTokener x(QStringLiteral("ab"));
    EXPECT_EQ(x.ReadChar(), u'a');
    EXPECT_THROW(x.ReadChars(1), ParseException) << "needs one character beyond the part read";
    EXPECT_EQ(x.ReadChar(), u'b');
    EXPECT_TRUE(x.HasMore());
    EXPECT_EQ(x.ReadChar(), QChar());
    EXPECT_FALSE(x.HasMore());
    EXPECT_EQ(x.ReadChar(), QChar());
    EXPECT_EQ(x.Position(), 4);
    for (int i = 0; i < 5; ++i) x.StepBack();
    EXPECT_EQ(x.Position(), 1);
    EXPECT_EQ(x.AsText(), QStringLiteral(" at character 1 of ab"));
}

} // namespace
} // namespace kestrum
