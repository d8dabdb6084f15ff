#pragma once
// Failures of the presentation application. The message is what the user
// reads in the automation exception: it says what went wrong and on which file.
#include <pressmark/imaging/errors.h>

namespace pressmark::office {

class OfficeError : public Error {
public:
    using Error::Error;
};

// The office process ended or was stopped: the office is unusable from now on.
class OfficeGoneError : public OfficeError {
public:
    using OfficeError::OfficeError;
};

}  // namespace pressmark::office
