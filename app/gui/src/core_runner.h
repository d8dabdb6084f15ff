#pragma once
// The core's conversion entry behind the window's run seam.
#include "conversion_runner.h"
#include "pressmark/app/slide_exporter.h"

namespace pressmark::gui {

// Runs the core's conversion; makeExporter is called on the worker thread, the
// thread that then uses the control.
TConversionRunner CoreConversionRunner(TSlideExporterFactory makeExporter);

}  // namespace pressmark::gui
