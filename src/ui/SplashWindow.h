#pragma once

#include <QWidget>

class QLabel;

namespace tollbook {

class ActivityIndicator;

// The splash window shown while the application starts: borderless, 409 x 200, centred, a picture, a
// turning activity indicator and a loading text in the language of config.ini.
class SplashWindow : public QWidget
{
    Q_OBJECT

public:
    // configPath is read for the language when the window is shown.
    explicit SplashWindow(const QString& configPath, QWidget* parent = nullptr);

    // The loading text of a language code; empty for a code that has none (the built-in text stays).
    static QString loadingText(const QString& code);

    // Shows the window and paints it at once.
    void showAndPaint();
    // Six times: append " ." to the loading text, wait 100 ms, repaint, process pending messages.
    void runLoading();

    QLabel* loadingLabel() const { return m_loading; }
    ActivityIndicator* activityIndicator() const { return m_indicator; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_configPath;
    QPixmap m_picture;
    ActivityIndicator* m_indicator;
    QLabel* m_loading;
};

} // namespace tollbook
