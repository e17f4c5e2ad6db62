#include "ui/MessageBox.h"

#include "platform/MessageBoxTexts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <memory>
#include <utility>
#include <vector>

namespace tollbook {
namespace MessageBox {

namespace {

QMessageBox::Icon iconOf(BoxKind kind)
{
    switch (kind) {
        case BoxKind::Warning:
            return QMessageBox::Warning;
        case BoxKind::Error:
            return QMessageBox::Critical;
        case BoxKind::Information:
            return QMessageBox::Information;
        case BoxKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

MessageBoxText titleOf(BoxKind kind)
{
    switch (kind) {
        case BoxKind::Warning:
            return MessageBoxText::WarningTitle;
        case BoxKind::Error:
            return MessageBoxText::ErrorTitle;
        case BoxKind::Information:
            return MessageBoxText::InformationTitle;
        case BoxKind::Confirmation:
            return MessageBoxText::ConfirmTitle;
    }
    return MessageBoxText::InformationTitle;
}

QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

struct ButtonChoice
{
    Answer answer;
    MessageBoxText caption;
    QMessageBox::ButtonRole role;
};

// The buttons of a box, and the answer its escape gives.
std::vector<ButtonChoice> buttonsOf(Buttons buttons, Answer* onEscape)
{
    switch (buttons) {
        case Buttons::YesNo:
            *onEscape = Answer::No;
            return { { Answer::Yes, MessageBoxText::Yes, QMessageBox::YesRole },
                     { Answer::No, MessageBoxText::No, QMessageBox::NoRole } };
        case Buttons::OkCancel:
            *onEscape = Answer::Cancel;
            return { { Answer::Ok, MessageBoxText::Ok, QMessageBox::AcceptRole },
                     { Answer::Cancel, MessageBoxText::Cancel, QMessageBox::RejectRole } };
        case Buttons::Ok:
            break;
    }
    *onEscape = Answer::Ok;
    return { { Answer::Ok, MessageBoxText::Ok, QMessageBox::AcceptRole } };
}

Answer run(QMessageBox::Icon icon, const QString& title, const QString& text, Buttons buttons, QWidget* parent)
{
    Answer onEscape = Answer::Ok;
    const std::vector<ButtonChoice> choices = buttonsOf(buttons, &onEscape);
    // Run as a service nobody sits at a screen: a box would wait for good and stop the capture. Its text
    // goes to the service's log instead and it takes the answer its escape key gives.
    if (qEnvironmentVariableIntValue("TOLLBOOK_UNATTENDED") == 1) {
        qWarning("%s: %s", qPrintable(title), qPrintable(displayText(text)));
        return onEscape;
    }

    // On the heap and watched: whatever runs in the box's event loop may destroy its parent, and the box
    // with it.
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setObjectName(ObjectName);
    box->setWindowModality(Qt::ApplicationModal);
    box->setIcon(icon);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(displayText(text));

    std::vector<std::pair<QPushButton*, Answer>> answers;
    for (const ButtonChoice& choice : choices) {
        QPushButton* button = box->addButton(MessageBoxTexts::text(choice.caption), choice.role);
        answers.emplace_back(button, choice.answer);
        if (choice.answer == onEscape) {
            box->setEscapeButton(button);
        }
    }
    box->setDefaultButton(answers.front().first);

    box->exec();
    if (!box) {
        return onEscape;
    }
    const std::unique_ptr<QMessageBox> owner(box.data());
    QAbstractButton* clicked = box->clickedButton();
    for (const auto& [button, answer] : answers) {
        if (button == clicked) {
            return answer;
        }
    }
    return onEscape;
}

} // namespace

Answer show(BoxKind kind, const QString& text, Buttons buttons, QWidget* parent)
{
    return run(iconOf(kind), MessageBoxTexts::text(titleOf(kind)), text, buttons, parent);
}

Answer show(const QString& title, const QString& text, Buttons buttons, QWidget* parent)
{
    return run(QMessageBox::NoIcon, title, text, buttons, parent);
}

} // namespace MessageBox
} // namespace tollbook
