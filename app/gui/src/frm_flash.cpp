#include "frm_flash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "artwork.h"

namespace pressmark::gui {

TfrmFlash::TfrmFlash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmFlash"));
    setFixedSize(424, 257);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect());
    Image1->setPixmap(SplashPicture(size()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace pressmark::gui
