// The memory stream and property bag that hosts keep saved state in, and the
// checks makeTypeLib applies to a description.
#include <gtest/gtest.h>

#include "pressmark/platform/com.h"

using namespace pressmark::platform;

namespace {

TEST(MemoryStream, ReadWriteSeekLikeAnIStream) {
    ComPtr<MemoryStream> stream = makeObject<MemoryStream>();
    const std::uint8_t state[] = {0x00, 0x00, 0x01, 0x00, 0x56, 0x0A, 0x00, 0x00};
    ULONG written = 0;
    ASSERT_EQ(stream->Write(state, sizeof state, &written), S_OK);
    EXPECT_EQ(written, sizeof state);
    std::uint64_t position = 99;
    ASSERT_EQ(stream->Seek(-4, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position, 4u);
    std::uint8_t back[8] = {};
    ULONG read = 0;
    ASSERT_EQ(stream->Read(back, sizeof back, &read), S_OK);
    EXPECT_EQ(read, 4u) << "a read past the end is short, not an error";
    EXPECT_EQ(back[0], 0x56);
    EXPECT_EQ(stream->Read(back, 1, &read), S_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
    ASSERT_EQ(stream->Seek(10, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(stream->Write(state, 1, nullptr), S_OK);
    EXPECT_EQ(stream->bytes().size(), 11u) << "writing past the end fills the gap";
    EXPECT_EQ(stream->bytes()[9], std::byte{0});

    ComPtr<ISequentialStream> sequential = ComPtr<IStream>(stream).query<ISequentialStream>();
    EXPECT_TRUE(sequential) << "the base interface answers QueryInterface";
    EXPECT_EQ(stream->refCount(), 2u);
}

TEST(MemoryPropertyBag, StoresByCaseInsensitiveNameAndConverts) {
    ComPtr<MemoryPropertyBag> bag = makeObject<MemoryPropertyBag>();
    Variant extent(LONG{2646});
    ASSERT_EQ(bag->Write(u"_ExtentX", &extent), S_OK);
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_BSTR;  // the wanted type
    ASSERT_EQ(bag->Read(u"_extentx", &out, nullptr), S_OK);
    EXPECT_EQ(bstrView(out.bstrVal), u"2646");
    VariantClear(&out);
    EXPECT_EQ(bag->Read(u"_Version", &out, nullptr), E_INVALIDARG);
    EXPECT_EQ(bag->values().count("_ExtentX"), 1u);
}

TEST(TypeLibDescription, InconsistentDescriptionsAreRefused) {
    const IID iface = parseGuid("{11111111-0000-0000-0000-000000000001}");
    const auto libWith = [&](std::vector<TypeDesc> types) {
        TypeLibDesc d;
        d.name = "Lib";
        d.libid = parseGuid("{11111111-0000-0000-0000-000000000000}");
        d.types = std::move(types);
        return d;
    };
    const struct {
        const char* name;
        TypeLibDesc lib;
    } cases[] = {
        {"duplicate DISPID", libWith({dispinterface("I", iface, {method(1, "A"), method(1, "B")})})},
        {"name on two DISPIDs", libWith({dispinterface("I", iface, {method(1, "A"), method(2, "a")})})},
        {"optional before required",
         libWith({dispinterface("I", iface, {method(1, "A", {{"x", VT_I4, true}, {"y", VT_I4}})})})},
        {"coclass names a missing interface",
         libWith({coclass("C", parseGuid("{11111111-0000-0000-0000-000000000002}"), {{iface, IMPLTYPEFLAG_FDEFAULT}})})},
    };
    for (const auto& c : cases) EXPECT_THROW(makeTypeLib(c.lib), std::invalid_argument) << c.name;
    // A property's get and put share their DISPID and name.
    EXPECT_NO_THROW(makeTypeLib(libWith(
        {dispinterface("I", iface, {propertyGet(3, "Visible", VT_BOOL), propertyPut(3, "Visible", VT_BOOL)})})));
}

}  // namespace
