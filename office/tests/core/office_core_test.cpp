#include "office_pool.h"
#include "slide_deck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>

using namespace pressmark::office;

TEST(Smoke, ExportOne) {
    auto t0 = std::chrono::steady_clock::now();
    auto session = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
    auto t1 = std::chrono::steady_clock::now();
    std::cerr << "start " << std::chrono::duration<double>(t1 - t0).count() << "\n";
    SlideDeck deck(session, PRESSMARK_CORPUS_DIR "/basic_test_ppt_file.ppt", false);
    auto t2 = std::chrono::steady_clock::now();
    std::cerr << "load " << std::chrono::duration<double>(t2 - t1).count() << "\n";
    EXPECT_EQ(deck.slideCount(), 2);
    deck.exportSlides("/tmp/office-smoke", "BMP", 800, 600);
    deck.exportSlides("/tmp/office-smoke", "JPG", 800, 600);
    deck.exportSlides("/tmp/office-smoke", "PNG", 800, 600);
    auto t3 = std::chrono::steady_clock::now();
    std::cerr << "export " << std::chrono::duration<double>(t3 - t2).count() << "\n";
    deck.close();
    EXPECT_EQ(session->require("", "").documentCount(), 0u);
}
