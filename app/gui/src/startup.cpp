#include "startup.h"

#include <QApplication>
#include <exception>
#include <memory>

#include "frm_flash.h"
#include "frm_form.h"
#include "product_info.h"

namespace pressmark::gui {

int RunSlidepress(QApplication& app, TFormServices services, QString settingsFileName) {
    auto flash = std::make_unique<TfrmFlash>();
    flash->show();
    flash->repaint();
    app.processEvents();

    QApplication::setApplicationDisplayName(kProductName);
    std::unique_ptr<TfrmForm> frmForm;
    try {
        frmForm = std::make_unique<TfrmForm>(services, std::move(settingsFileName));
    } catch (const std::exception& e) {
        services.Error(flash.get(), QString::fromUtf8(e.what()));
        return 1;
    }
    flash->hide();
    flash.reset();

    frmForm->show();
    return app.exec();
}

}  // namespace pressmark::gui
