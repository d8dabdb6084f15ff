#pragma once
// TfrmFlash: the splash window shown while the program starts.
#include <QWidget>

class QLabel;

namespace pressmark::gui {

class TfrmFlash : public QWidget {
    Q_OBJECT
public:
    TfrmFlash();

private:
    QLabel* Image1 = nullptr;
};

}  // namespace pressmark::gui
