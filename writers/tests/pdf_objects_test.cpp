// Object bodies and file framing, with expected bytes written out by hand.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "pressmark/imaging/errors.h"
#include "pressmark/writers/pdf_objects.h"
#include "pressmark/writers/random_access_sink.h"
#include "test_support.h"

using pressmark::test::FailAfterSink;

namespace pressmark {
namespace {

using namespace std::string_literals;

std::string Body(TPDFObject& object) {
    MemoryFile out;
    object.WriteToStream(out);
    return std::string(out.text());
}

struct BodyCase {
    const char* name;
    std::function<TPDFObjectPtr()> make;
    std::string expected;
};

TEST(PDFObjects, Bodies) {
    const BodyCase cases[] = {
        {"reference", [] { return PDFRef(5); }, "5 0 R"},
        {"zero", [] { return PDFNumber(0); }, "0"},
        {"minus one", [] { return PDFNumber(-1); }, "-1"},
        {"paper height", [] { return PDFNumber(842); }, "842"},
        {"true", [] { return PDFBoolean(true); }, "true"},
        {"false", [] { return PDFBoolean(false); }, "false"},
        {"escaped string", [] { return PDFString("a(b)c\\\r"); }, "(a\\(b\\)c\\\\\\r)"},
        {"control bytes", [] { return PDFString("\b\t\n\f\x01\xE9"); }, "(\\b\\t\\n\\f\x01\xE9)"},
        {"name", [] { return PDFName("Catalog"); }, "/Catalog"},
        {"name with space, hash and high byte", [] { return PDFName("a b#\xFF"); }, "/a#20b##FF"},
        {"empty array", [] { return std::make_unique<TPDFArrayObject>(); }, "[]"},
        {"array of one reference",
         [] {
             auto a = std::make_unique<TPDFArrayObject>();
             a->Add(PDFRef(5));
             return a;
         },
         "[5 0 R ]"},
        {"empty dictionary", [] { return std::make_unique<TPDFDictionaryObject>(); }, "<< >>"},
        {"catalog",
         [] {
             auto d = std::make_unique<TPDFDictionaryObject>();
             d->Add("Type", PDFName("Catalog"));
             d->Add("Pages", PDFRef(7));
             return d;
         },
         "<< /Type /Catalog\n/Pages 7 0 R\n>>"},
        {"nested dictionary",
         [] {
             auto inner = std::make_unique<TPDFDictionaryObject>();
             inner->Add("lm1", PDFRef(3));
             auto d = std::make_unique<TPDFDictionaryObject>();
             d->Add("XObject", std::move(inner));
             return d;
         },
         "<< /XObject << /lm1 3 0 R\n>>\n>>"},
        {"stream without data", [] { return std::make_unique<TPDFStreamObject>(); },
         "<< /Length 0\n>>\nstream\n\nendstream"},
        {"stream keeps the place of its length entry",
         [] {
             const std::uint8_t bytes[] = {'q', 0, 'Q'};
             auto s = std::make_unique<TPDFStreamObject>(bytes, 3);
             s->Dictionary.Insert(0, "Type", PDFName("XObject"));
             s->Dictionary.Add("Width", PDFNumber(4));
             return s;
         },
         "<< /Type /XObject\n/Length 3\n/Width 4\n>>\nstream\nq\0Q\nendstream"s},
    };
    for (const auto& c : cases) {
        auto object = c.make();
        EXPECT_EQ(Body(*object), c.expected) << c.name;
    }
}

TEST(PDFObjects, ExternallyOwnedElementSurvivesItsContainer) {
    auto shared = std::make_unique<TPDFNameObject>("kept");
    shared->ExternallyOwned = true;
    {
        TPDFArrayObject array;
        array.Add(TPDFObjectPtr(shared.get()));
        TPDFDictionaryObject dictionary;
        dictionary.Add("a", PDFNumber(1));
        dictionary.Replace(0, TPDFObjectPtr(shared.get()));  // the old value is freed
        dictionary.Replace(0, PDFNumber(2));                  // the shared one is let go
    }
    EXPECT_EQ(Body(*shared), "/kept");  // still alive (ASan would catch a double free)
}

TEST(PDFObjects, PadLeft) {
    EXPECT_EQ(PadLeft("15", 10, '0'), "0000000015");
    EXPECT_EQ(PadLeft("2147483647", 10, '0'), "2147483647");
    EXPECT_EQ(PadLeft("12345678901", 10, '0'), "12345678901");
}

// Three objects framed into a file; every cross-reference offset must point
// at the "n 0 obj" line of its object.
TEST(PDFSerializer, FramingAndCrossReference) {
    TPDFObjectList objects;
    auto& catalog = RegisterObject(objects, std::make_unique<TPDFDictionaryObject>());
    catalog.Add("Type", PDFName("Catalog"));
    RegisterObject(objects, std::make_unique<TPDFStreamObject>());
    auto& info = RegisterObject(objects, std::make_unique<TPDFDictionaryObject>());
    EXPECT_EQ(info.ObjectNumber, 3);

    MemoryFile out;
    WritePDFHeader(out);
    EXPECT_EQ(out.position(), 15u);
    WritePDFObjects(out, objects);
    WriteXRefAndTrailer(out, objects, info);
    const std::string text(out.text());

    const std::string expected =
        "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n"
        "1 0 obj\n<< /Type /Catalog\n>>\nendobj\n"                    // at 15
        "2 0 obj\n<< /Length 0\n>>\nstream\n\nendstream\nendobj\n"    // at 51
        "3 0 obj\n<< >>\nendobj\n"                                    // at 100
        "xref\n0 4\n0000000000 65535 f \n"
        "0000000015 00000 n \n0000000051 00000 n \n0000000100 00000 n \n"
        "trailer\n<< /Size 4\n/Root 1 0 R\n/Info 3 0 R\n>>\nstartxref\n121\n%%EOF\n";
    EXPECT_EQ(text, expected);
    for (const auto& object : objects)
    {
        const std::string opening = std::to_string(object->ObjectNumber) + " 0 obj\n";
        EXPECT_EQ(text.substr(object->FileOffset, opening.size()), opening);
    }
}

TEST(PDFSerializer, ShortWriteIsAnError) {
    TPDFObjectList objects;
    auto& info = RegisterObject(objects, std::make_unique<TPDFDictionaryObject>());
    for (std::size_t limit : {0u, 14u, 30u, 60u}) {
        FailAfterSink out(limit);
        EXPECT_THROW(
            {
                WritePDFHeader(out);
                WritePDFObjects(out, objects);
                WriteXRefAndTrailer(out, objects, info);
            },
            WriteError)
            << "limit " << limit;
    }
}

}  // namespace
}  // namespace pressmark
