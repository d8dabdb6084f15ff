// Starts an office, prints its process id and waits to be killed: the test of
// "the office dies with its parent" kills this program and watches the office.
#include "office_process.h"

#include <unistd.h>

#include <cstdio>

int main() {
    auto office = pressmark::office::OfficeProcess::start(pressmark::office::OfficeSettings::fromEnvironment());
    std::printf("%d\n", static_cast<int>(office->pid()));
    std::fflush(stdout);
    for (;;) ::pause();
}
