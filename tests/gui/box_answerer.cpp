#include "tests/gui/box_answerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace comflash::guitest {

BoxAnswerer::BoxAnswerer() {
    watch_.setInterval(20);
    connect(&watch_, &QTimer::timeout, this, &BoxAnswerer::AnswerOpenBox);
    watch_.start();
}

void BoxAnswerer::Answer(const QString& text, QMessageBox::StandardButton button) {
    answers_[text] = button;
}

QStringList BoxAnswerer::Texts() const {
    QStringList texts;
    for (const SeenBox& box : seen_)
        texts << box.text;
    return texts;
}

void BoxAnswerer::AnswerOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // A box already answered is hidden until its exec returns.
    if (box == nullptr || !box->isVisible())
        return;
    seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->detailedText()});

    QMessageBox::StandardButton choice =
        box->button(QMessageBox::Yes) != nullptr ? QMessageBox::Yes : QMessageBox::Ok;
    if (const auto answer = answers_.find(box->text()); answer != answers_.end())
        choice = answer->second;
    QAbstractButton* button = box->button(choice);
    if (button == nullptr && !box->buttons().isEmpty())
        button = box->buttons().front();  // never leave a box open for good
    if (button != nullptr)
        button->click();
}

}  // namespace comflash::guitest
