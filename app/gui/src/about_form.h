#pragma once
// TaboutForm: the About box, shown modally from the help menu.
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QUrl;

namespace pressmark::gui {

class TaboutForm : public QDialog {
    Q_OBJECT
public:
    // openUrl opens the web site when the link is clicked.
    TaboutForm(QWidget* parent, std::function<void(const QUrl&)> openUrl);

public slots:
    void Button1Click();

private:
    std::function<void(const QUrl&)> openUrl_;
    QLabel* linkLabel = nullptr;
    QPushButton* Button1 = nullptr;
};

}  // namespace pressmark::gui
