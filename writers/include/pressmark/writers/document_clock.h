#pragma once
// The clock the writers stamp documents with (the PDF creation date, the
// PostScript %%CreationDate line). Injectable so tests get fixed bytes.
#include <ctime>
#include <functional>

namespace pressmark {

// Answers the local date and time at this moment (fields as in std::tm).
using TDocumentClock = std::function<std::tm()>;

// The system's local time.
std::tm LocalNow();

}  // namespace pressmark
