#pragma once

#include <QString>
#include <QStringList>

// The interface language: the current language code, the message and report-text files, and the texts
// a language brings with it that the application holds itself. No widgets.
namespace tollbook::Language {

// The installation folder every language file is found under, with a trailing '/'.
void setInstallFolder(const QString& folder);
QString installFolder();

// "pt_BR", "en", "es", or whatever config.ini holds (taken verbatim, also empty).
QString currentCode();
void setCurrentCode(const QString& code);
bool isKnownCode(const QString& code);

// The text of key in section of the current language's message file (language/Default_<code>.lpu),
// read anew on every call; empty when the section or key is missing. A code without a message file reads
// the Portuguese one (language/Default_pt_BR.lpu).
QString message(const QString& section, const QString& key);
// The same on the report-text file (language/Report_<code>.lpu), with the same fallback.
QString reportText(const QString& section, const QString& key);
// language/<code>/<windowName>.lpu below the installation folder.
QString windowFilePath(const QString& code, const QString& windowName);

// Fills the "%s" placeholders of a message template with the values, in order. A placeholder without
// a value, or one of another type ("%d"), throws ConversionError (shown by the error handler). Values
// without a placeholder are left out, so a missing message (the empty template) gives the empty text.
// Also understood, as translators may write them: "%%", a zero-based index ("%0:s"), width and
// precision ("%-10.3s").
QString format(const QString& messageTemplate, const QStringList& values);

// The restart notice of a language switch, in the language chosen; empty for an unknown code.
QString restartNotice(const QString& code);

// Texts of the notification-area icon.
struct TrayTexts
{
    QString balloonTitle;
    QString restore;
    QString finish;
};
TrayTexts trayTexts(const QString& code); // empty texts for an unknown code

// The texts of our grids' navigator bars and their delete question, one set per language.
enum class GridText { Prior, Next, Insert, Delete, Edit, Post, Cancel, Refresh, DeleteQuestion };
QString gridText(GridText text); // from the active set
QString activeGridSet();         // "pt_BR" until a set-up activates another
void setActiveGridSet(const QString& code);

// The language set-up step for the current code: for "pt_BR", "en" and "es", activates that grid set
// and replaces the eighteen message-box texts; for any other code changes nothing. The notification
// icon's texts are applied by its owner from trayTexts().
void applySetup();

} // namespace tollbook::Language
