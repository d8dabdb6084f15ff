#pragma once
// What the driver needs from the slide-show control: the four members it
// calls per presentation. TSlideport implements it over the real control;
// tests use a fake that writes BMP files.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pressmark {

class ISlideExporter {
public:
    virtual ~ISlideExporter() = default;
    virtual bool InitControl() = 0;
    virtual bool LoadFile(const std::string& strPPTFile) = 0;
    // Writes one image per slide of strInputPPTFile into strOutputDir (which
    // ends with a separator), in the format strOutputType, at iWidth x iHeight.
    virtual bool Export(const std::string& strInputPPTFile, const std::string& strOutputDir,
                        const std::string& strOutputType, std::int16_t iWidth, std::int16_t iHeight) = 0;
    virtual void Quit() = 0;
};

// The control is apartment-threaded: it must be created on the thread that
// calls it. The driver therefore takes a factory and creates the exporter on
// the thread that runs the conversion.
using TSlideExporterFactory = std::function<std::unique_ptr<ISlideExporter>()>;

}  // namespace pressmark
