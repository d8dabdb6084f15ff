#pragma once
// The PDF object model: a small class family whose one virtual operation,
// WriteToStream, appends the object's body to a byte sink, and the
// serializer that frames registered objects into a file (header, numbered
// objects, cross-reference table, trailer).
//
// Ownership: arrays and dictionaries own their elements through
// std::unique_ptr. An element whose ExternallyOwned flag is set belongs to
// someone else: the container lets go of it instead of deleting it. The
// document's object list (TPDFObjectList) owns every registered object.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/writers/pdf_spool.h"

namespace pressmark {

class TPDFObject {
public:
    virtual ~TPDFObject() = default;
    TPDFObject() = default;
    TPDFObject(const TPDFObject&) = delete;
    TPDFObject& operator=(const TPDFObject&) = delete;

    // Appends the body (without object framing) and records where it began.
    virtual void WriteToStream(ByteSink& Stream) = 0;

    std::int32_t ObjectNumber = 0;  // 0 while direct; 1-based once registered
    // Where the body began; for a registered object, where its "n 0 obj" line
    // began once WritePDFObjects has run. 64-bit so that a large file cannot
    // wrap; the cross-reference table refuses what its 10 digits cannot hold.
    std::int64_t FileOffset = 0;
    bool ExternallyOwned = false;
};

using TPDFObjectPtr = std::unique_ptr<TPDFObject>;

class TPDFRefObject final : public TPDFObject {
public:
    TPDFRefObject(std::int32_t number, std::int32_t generation)
        : RefNumber(number), RefGeneration(generation) {}
    void WriteToStream(ByteSink& Stream) override;
    std::int32_t RefNumber;
    std::int32_t RefGeneration;
};

class TPDFNumericObject final : public TPDFObject {
public:
    explicit TPDFNumericObject(double value) : Value(value) {}
    void WriteToStream(ByteSink& Stream) override;
    double Value;
};

class TPDFBooleanObject final : public TPDFObject {
public:
    explicit TPDFBooleanObject(bool value) : Value(value) {}
    void WriteToStream(ByteSink& Stream) override;
    bool Value;
};

class TPDFStringObject final : public TPDFObject {
public:
    explicit TPDFStringObject(std::string value) : Value(std::move(value)) {}
    void WriteToStream(ByteSink& Stream) override;
    std::string Value;
};

class TPDFNameObject final : public TPDFObject {
public:
    explicit TPDFNameObject(std::string name) : Value(std::move(name)) {}
    void WriteToStream(ByteSink& Stream) override;
    std::string Value;  // without the leading slash
};

// Arrays and dictionaries free their owned elements last first and let go
// of externally owned ones (their owner frees them).
class TPDFArrayObject final : public TPDFObject {
public:
    TPDFArrayObject() = default;
    ~TPDFArrayObject() override;
    void WriteToStream(ByteSink& Stream) override;

    TPDFObject& Add(TPDFObjectPtr object);
    std::size_t Count() const noexcept { return items_.size(); }
    TPDFObject& Item(std::size_t index) const { return *items_.at(index); }

private:
    std::vector<TPDFObjectPtr> items_;
};

class TPDFDictionaryObject final : public TPDFObject {
public:
    TPDFDictionaryObject() = default;
    ~TPDFDictionaryObject() override;
    void WriteToStream(ByteSink& Stream) override;

    TPDFObject& Add(std::string key, TPDFObjectPtr object);
    TPDFObject& Insert(std::size_t index, std::string key, TPDFObjectPtr object);
    // Index of the first entry with this key, or -1.
    int IndexOf(std::string_view key) const noexcept;
    TPDFObject& ObjectAt(std::size_t index) const { return *items_.at(index).second; }
    const std::string& KeyAt(std::size_t index) const { return items_.at(index).first; }
    // Puts a new value in place of the entry's value; the old value is freed
    // unless it is externally owned.
    void Replace(std::size_t index, TPDFObjectPtr object);
    std::size_t Count() const noexcept { return items_.size(); }

private:
    std::vector<std::pair<std::string, TPDFObjectPtr>> items_;
};

class TPDFStreamObject final : public TPDFObject {
public:
    // No data; the dictionary holds "Length" 0.
    TPDFStreamObject();
    // Copies the caller's bytes.
    TPDFStreamObject(const std::uint8_t* bytes, std::size_t length);
    // Takes over a buffer (the builder's uncompressed images and encoders'
    // output, which need no second copy).
    explicit TPDFStreamObject(std::vector<std::uint8_t> data);
    void WriteToStream(ByteSink& Stream) override;

    // The data's length, wherever it is kept.
    std::int64_t DataLength() const noexcept {
        return static_cast<std::int64_t>(Spool ? SpoolLength : Data.size());
    }
    // Moves Data to the end of `spool` and frees it; from then on the data
    // is copied from the spool when the object is written. Data stays as it
    // was when the spool cannot take it (WriteError).
    void MoveDataTo(std::shared_ptr<PDFSpool> spool);
    bool Spooled() const noexcept { return Spool != nullptr; }

    std::vector<std::uint8_t> Data;
    TPDFDictionaryObject Dictionary;
    // Where spooled data lives: null while the data is in Data.
    std::shared_ptr<const PDFSpool> Spool;
    std::uint64_t SpoolOffset = 0;
    std::uint64_t SpoolLength = 0;
};

// Convenience factories for building dictionaries tersely.
inline TPDFObjectPtr PDFName(std::string name) { return std::make_unique<TPDFNameObject>(std::move(name)); }
inline TPDFObjectPtr PDFNumber(double value) { return std::make_unique<TPDFNumericObject>(value); }
inline TPDFObjectPtr PDFBoolean(bool value) { return std::make_unique<TPDFBooleanObject>(value); }
inline TPDFObjectPtr PDFString(std::string value) { return std::make_unique<TPDFStringObject>(std::move(value)); }
inline TPDFObjectPtr PDFRef(std::int32_t number) { return std::make_unique<TPDFRefObject>(number, 0); }

// The document's list of registered (indirect) objects, in numbering order;
// it owns them.
using TPDFObjectList = std::vector<TPDFObjectPtr>;

// Serializer. Every write is checked: a sink that takes fewer bytes than
// offered raises WriteError.
void WritePDFText(ByteSink& Stream, std::string_view Text);
void WritePDFLine(ByteSink& Stream, std::string_view Text);
std::string PadLeft(std::string Text, std::size_t Length, char Fill);

// Appends the object, numbers it with the list's new length and answers it.
template <typename T>
T& RegisterObject(TPDFObjectList& Objects, std::unique_ptr<T> Object) {
    T& registered = *Object;
    Objects.push_back(std::move(Object));
    registered.ObjectNumber = static_cast<std::int32_t>(Objects.size());
    return registered;
}

void WritePDFHeader(ByteSink& Stream);
void WritePDFObjects(ByteSink& Stream, const TPDFObjectList& Objects);
void WriteXRefAndTrailer(ByteSink& Stream, const TPDFObjectList& Objects, const TPDFObject& Info);

}  // namespace pressmark
