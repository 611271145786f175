#include "gui/common/operator_boxes.h"

#include <QMessageBox>

#include "app/settings_store.h"

namespace comflash {
namespace {

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void ShowErrorBox(QWidget* parent, const std::exception& error) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, ToQt(ErrorBoxText(error.what())),
                    QMessageBox::Ok, parent);
    if (const auto* settings = dynamic_cast<const ERegistryException*>(&error);
        settings != nullptr && !settings->Detail().empty()) {
        box.setDetailedText(ToQt(settings->Detail()));
    }
    box.exec();
}

bool AskYesNoBox(QWidget* parent, const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Question, ToQt(title), ToQt(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Information, ToQt(title), ToQt(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace comflash
