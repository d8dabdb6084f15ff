#include "pressmark/writers/pdf_objects.h"

#include <charconv>
#include <cmath>
#include <string>

#include "pressmark/imaging/errors.h"
#include "pressmark/writers/random_access_sink.h"

namespace pressmark {
namespace {

void WriteDecimal(ByteSink& stream, std::int64_t value) { WritePDFText(stream, std::to_string(value)); }

// Whole values (all that the writers store) print as plain integers. A
// fraction prints in the shortest fixed-point form that reads back the same
// value: PDF numbers allow no exponent.
std::string NumberText(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == std::trunc(value) && std::fabs(value) < 9.2e18)
        return std::to_string(static_cast<std::int64_t>(value));
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

std::string EscapeString(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 2);
    for (const char c : value) {
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '(': out += "\\("; break;
            case ')': out += "\\)"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::string EscapeName(const std::string& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x21 && byte <= 0x7E) {
            out += c;
        } else {
            out += '#';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

// Lets go of an externally owned element instead of deleting it.
void Dispose(TPDFObjectPtr& object) noexcept {
    if (object && object->ExternallyOwned) static_cast<void>(object.release());
    object.reset();
}

}  // namespace

void WritePDFText(ByteSink& Stream, std::string_view Text) { WriteAll(Stream, Text); }

void WritePDFLine(ByteSink& Stream, std::string_view Text) {
    WritePDFText(Stream, Text);
    WritePDFText(Stream, "\n");
}

std::string PadLeft(std::string Text, std::size_t Length, char Fill) {
    if (Text.size() < Length) Text.insert(0, Length - Text.size(), Fill);
    return Text;
}

void TPDFRefObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, std::to_string(RefNumber) + " " + std::to_string(RefGeneration) + " R");
}

void TPDFNumericObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, NumberText(Value));
}

void TPDFBooleanObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, Value ? "true" : "false");
}

void TPDFStringObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, "(" + EscapeString(Value) + ")");
}

void TPDFNameObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, "/" + EscapeName(Value));
}

TPDFArrayObject::~TPDFArrayObject() {
    while (!items_.empty()) {
        Dispose(items_.back());
        items_.pop_back();
    }
}

TPDFObject& TPDFArrayObject::Add(TPDFObjectPtr object) {
    items_.push_back(std::move(object));
    return *items_.back();
}

void TPDFArrayObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, "[");
    for (const auto& item : items_) {
        item->WriteToStream(Stream);
        WritePDFText(Stream, " ");
    }
    WritePDFText(Stream, "]");
}

TPDFDictionaryObject::~TPDFDictionaryObject() {
    while (!items_.empty()) {
        Dispose(items_.back().second);
        items_.pop_back();
    }
}

TPDFObject& TPDFDictionaryObject::Add(std::string key, TPDFObjectPtr object) {
    items_.emplace_back(std::move(key), std::move(object));
    return *items_.back().second;
}

TPDFObject& TPDFDictionaryObject::Insert(std::size_t index, std::string key, TPDFObjectPtr object) {
    if (index > items_.size()) index = items_.size();
    const auto at = items_.emplace(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(key),
                                   std::move(object));
    return *at->second;
}

int TPDFDictionaryObject::IndexOf(std::string_view key) const noexcept {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].first == key) return static_cast<int>(i);
    return -1;
}

void TPDFDictionaryObject::Replace(std::size_t index, TPDFObjectPtr object) {
    auto& slot = items_.at(index).second;
    Dispose(slot);
    slot = std::move(object);
}

void TPDFDictionaryObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    WritePDFText(Stream, "<< ");
    for (const auto& [key, value] : items_) {
        WritePDFText(Stream, "/" + key + " ");
        value->WriteToStream(Stream);
        WritePDFText(Stream, "\n");
    }
    WritePDFText(Stream, ">>");
}

TPDFStreamObject::TPDFStreamObject() { Dictionary.Add("Length", PDFNumber(0)); }

TPDFStreamObject::TPDFStreamObject(const std::uint8_t* bytes, std::size_t length)
    : TPDFStreamObject() {
    if (length > 0) Data.assign(bytes, bytes + length);
}

TPDFStreamObject::TPDFStreamObject(std::vector<std::uint8_t> data) : TPDFStreamObject() {
    Data = std::move(data);
}

void TPDFStreamObject::MoveDataTo(std::shared_ptr<PDFSpool> spool) {
    if (!spool || Spool) return;  // already spooled: the data is not in Data
    const std::uint64_t offset = spool->Append(Data);
    Spool = std::move(spool);
    SpoolOffset = offset;
    SpoolLength = Data.size();
    std::vector<std::uint8_t>().swap(Data);
}

void TPDFStreamObject::WriteToStream(ByteSink& Stream) {
    FileOffset = static_cast<std::int64_t>(Stream.position());
    // The length is rebuilt on every write so that the data may change until
    // the file is written; the entry keeps its place in the key order.
    const int at = Dictionary.IndexOf("Length");
    if (at >= 0)
        Dictionary.Replace(static_cast<std::size_t>(at), PDFNumber(static_cast<double>(DataLength())));
    else
        Dictionary.Add("Length", PDFNumber(static_cast<double>(DataLength())));
    Dictionary.WriteToStream(Stream);
    WritePDFText(Stream, "\n");
    WritePDFLine(Stream, "stream");
    if (Spool)
        Spool->CopyTo(Stream, SpoolOffset, SpoolLength);
    else
        WriteAll(Stream, Data);
    WritePDFText(Stream, "\nendstream");
}

void WritePDFHeader(ByteSink& Stream) {
    WritePDFLine(Stream, "%PDF-1.4");
    // A comment of bytes above 127 tells transfer programs the file is binary.
    WritePDFLine(Stream, "%\xC8\xD2\xF0\xFE");
}

void WritePDFObjects(ByteSink& Stream, const TPDFObjectList& Objects) {
    for (const auto& object : Objects) {
        const auto start = static_cast<std::int64_t>(Stream.position());
        WritePDFLine(Stream, std::to_string(object->ObjectNumber) + " 0 obj");
        object->WriteToStream(Stream);
        WritePDFText(Stream, "\n");
        WritePDFLine(Stream, "endobj");
        object->FileOffset = start;
    }
}

void WriteXRefAndTrailer(ByteSink& Stream, const TPDFObjectList& Objects, const TPDFObject& Info) {
    // Each cross-reference entry has exactly ten digits for its offset.
    constexpr std::int64_t kLargestOffset = 9'999'999'999;
    const auto xref = static_cast<std::int64_t>(Stream.position());
    const std::string size = std::to_string(Objects.size() + 1);
    WritePDFLine(Stream, "xref");
    WritePDFLine(Stream, "0 " + size);
    WritePDFLine(Stream, "0000000000 65535 f ");
    for (const auto& object : Objects) {
        if (object->FileOffset < 0 || object->FileOffset > kLargestOffset)
            throw LimitExceededError("", "the PDF file is too large for its cross-reference table");
        WritePDFLine(Stream, PadLeft(std::to_string(object->FileOffset), 10, '0') + " 00000 n ");
    }
    WritePDFLine(Stream, "trailer");
    WritePDFLine(Stream, "<< /Size " + size);
    WritePDFLine(Stream, "/Root 1 0 R");
    WritePDFLine(Stream, "/Info " + std::to_string(Info.ObjectNumber) + " 0 R");
    WritePDFLine(Stream, ">>");
    WritePDFLine(Stream, "startxref");
    WriteDecimal(Stream, xref);
    WritePDFText(Stream, "\n");
    WritePDFLine(Stream, "%%EOF");
}

}  // namespace pressmark
