#pragma once

#include "ui/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Answers the modal windows a test makes the application open. A handle is taken before the action that
// opens the window; from then on the event loop is polled for the next application-modal window, which is
// handed to the callback (or, for a message box, answered). The handle records what it saw and is read
// after the action returns. Polling stops once a window was handled or when the last copy of the handle is
// dropped, so a handle kept only for "no box was shown" never answers a later box.
//
//     const auto box = ModalHelper::answerNext(MessageBox::Answer::Yes);
//     window.close();
//     QVERIFY(box.shown());
//     QCOMPARE(box.text(), "Exit?");
namespace ModalHelper {

namespace detail {
constexpr const char* HandledProperty = "tollbookModalHandled";
constexpr int PollInterval = 10; // milliseconds between two looks for the window
} // namespace detail

// What was seen of the message box a handle answered. The text is as displayed: line breaks are '\n'.
struct BoxRecord
{
    bool shown = false;
    bool answered = false; // false when the box had no button for the answer asked (it was then escaped)
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // the captions of its buttons
};

class Handle
{
public:
    explicit Handle(std::shared_ptr<BoxRecord> record)
        : m_record(std::move(record))
    {
    }
    bool shown() const { return m_record->shown; }
    bool answered() const { return m_record->answered; }
    QString text() const { return m_record->text; }
    QString title() const { return m_record->title; }
    QMessageBox::Icon icon() const { return m_record->icon; }
    QStringList buttons() const { return m_record->buttons; }

private:
    std::shared_ptr<BoxRecord> m_record;
};

// Polls until an application-modal window that has not been handled yet is active, then calls handle with
// it. Keeps polling only while alive is not expired.
inline void pollForModal(std::weak_ptr<void> alive, std::function<void(QWidget*)> handle)
{
    QTimer::singleShot(detail::PollInterval, qApp, [alive, handle]() {
        if (alive.expired()) {
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->property(detail::HandledProperty).toBool()) {
            pollForModal(alive, handle);
            return;
        }
        modal->setProperty(detail::HandledProperty, true);
        handle(modal);
    });
}

// Hands the next modal window to the callback, for dialogs other than message boxes. The returned token
// keeps the polling alive.
[[nodiscard]] inline std::shared_ptr<void> onNextModal(std::function<void(QWidget*)> handle)
{
    auto alive = std::make_shared<int>(0);
    pollForModal(alive, std::move(handle));
    return alive;
}

inline QMessageBox::ButtonRole roleOf(tollbook::MessageBox::Answer answer)
{
    switch (answer) {
        case tollbook::MessageBox::Answer::Ok:
            return QMessageBox::AcceptRole;
        case tollbook::MessageBox::Answer::Yes:
            return QMessageBox::YesRole;
        case tollbook::MessageBox::Answer::No:
            return QMessageBox::NoRole;
        case tollbook::MessageBox::Answer::Cancel:
            return QMessageBox::RejectRole;
    }
    return QMessageBox::InvalidRole;
}

// Answers the next message box with the button of the answer and records the box.
[[nodiscard]] inline Handle answerNext(tollbook::MessageBox::Answer answer)
{
    auto record = std::make_shared<BoxRecord>();
    std::weak_ptr<BoxRecord> weak = record;
    pollForModal(record, [weak, answer](QWidget* modal) {
        const auto seen = weak.lock();
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!seen || !box) {
            return;
        }
        seen->shown = true;
        seen->text = box->text();
        seen->title = box->windowTitle();
        seen->icon = box->icon();
        QAbstractButton* wanted = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            seen->buttons << button->text();
            if (!wanted && box->buttonRole(button) == roleOf(answer)) {
                wanted = button;
            }
        }
        seen->answered = wanted != nullptr;
        if (!wanted) {
            wanted = box->escapeButton();
        }
        if (wanted) {
            wanted->click();
        } else {
            box->reject();
        }
    });
    return Handle(record);
}

} // namespace ModalHelper
