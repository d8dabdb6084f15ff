#pragma once
// The product's facts shown by the help menu, the About box and the splash.
#include <QString>

namespace pressmark::gui {

inline const QString kProductName = QStringLiteral("Pressmark");
inline const QString kProductVersionText = QStringLiteral("Version: 2.1");
// The product's web site, opened by "Help", "Home Page" and the About box link.
inline const QString kProductHomePage = QStringLiteral("https://pressmark.example.org/");

}  // namespace pressmark::gui
