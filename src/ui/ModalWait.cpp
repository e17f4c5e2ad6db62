#include "ui/ModalWait.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

#include <exception>
#include <thread>

namespace tollbook::ModalWait {

namespace {

// Stays open until the work is over: neither Escape nor the close box ends it.
class WaitWindow : public QDialog
{
public:
    WaitWindow(const QString& text, QWidget* parent)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    {
        setObjectName(ObjectName);
        setWindowTitle(QStringLiteral("Tollbook"));
        setWindowModality(Qt::ApplicationModal);
        auto* label = new QLabel(text, this);
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);
        bar->setTextVisible(false);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addWidget(bar);
        setMinimumWidth(320);
    }

    void finish()
    {
        m_finished = true;
        accept();
    }

    void reject() override
    {
        if (m_finished) {
            QDialog::reject();
        }
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (!m_finished) {
            event->ignore();
        }
    }

private:
    bool m_finished = false;
};

} // namespace

void run(const QString& text, const std::function<void()>& work, QWidget* parent)
{
    WaitWindow window(text, parent);
    QEventLoop loop;
    std::exception_ptr failure;
    bool done = false;

    std::thread worker([&work, &failure, &loop, &done] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Back on the window's thread: the loop ends there.
        QMetaObject::invokeMethod(
            &loop,
            [&loop, &done] {
                done = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    });

    window.show();
    if (!done) {
        loop.exec();
    }
    worker.join();
    window.finish();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace tollbook::ModalWait
