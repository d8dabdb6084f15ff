#include "about_form.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "artwork.h"
#include "product_info.h"

namespace pressmark::gui {

TaboutForm::TaboutForm(QWidget* parent, std::function<void(const QUrl&)> openUrl)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), openUrl_(std::move(openUrl)) {
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(320, 200);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    icon->setGeometry(16, 16, 64, 64);

    auto* product = new QLabel(kProductName, this);
    product->setObjectName(QStringLiteral("productLabel"));
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    product->setGeometry(96, 16, 210, 28);

    auto* version = new QLabel(kProductVersionText, this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setGeometry(96, 48, 210, 18);

    auto* maker = new QLabel(QStringLiteral("Made by the Pressmark developers"), this);
    maker->setObjectName(QStringLiteral("makerLabel"));
    maker->setGeometry(96, 72, 210, 18);
    auto* contact = new QLabel(QStringLiteral("Questions and reports: see the web site"), this);
    contact->setObjectName(QStringLiteral("contactLabel"));
    contact->setGeometry(96, 92, 210, 18);

    linkLabel = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(kProductHomePage), this);
    linkLabel->setObjectName(QStringLiteral("linkLabel"));
    linkLabel->setTextFormat(Qt::RichText);
    linkLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    linkLabel->setOpenExternalLinks(false);
    linkLabel->setGeometry(96, 118, 210, 18);
    connect(linkLabel, &QLabel::linkActivated, this, [this](const QString& link) {
        if (openUrl_) openUrl_(QUrl(link));
    });

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setGeometry(122, 158, 75, 28);
    connect(Button1, &QPushButton::clicked, this, &TaboutForm::Button1Click);
}

void TaboutForm::Button1Click() { accept(); }

}  // namespace pressmark::gui
