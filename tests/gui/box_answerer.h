// Answers the window's modal boxes the way an operator would: it watches for
// the box that is open, notes what it says and presses a button. The box's
// own event loop runs the watch, exactly as it runs the window's timers and
// received chunks while the box is open.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <vector>

namespace comflash::guitest {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString detail;
};

class BoxAnswerer : public QObject {
public:
    BoxAnswerer();

    // The button to press on boxes with this text. Any other box gets Yes
    // when it offers Yes, else OK.
    void Answer(const QString& text, QMessageBox::StandardButton button);

    const std::vector<SeenBox>& Seen() const { return seen_; }
    QStringList Texts() const;

private:
    void AnswerOpenBox();

    QTimer watch_;
    std::map<QString, QMessageBox::StandardButton> answers_;
    std::vector<SeenBox> seen_;
};

}  // namespace comflash::guitest
