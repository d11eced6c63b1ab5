#pragma once

#include "ZEM_F_B_Securitry.h"
#include "ZEM_F_Notification.h"
#include "ZEM_F_StringTable.h"
#include "ZEM_Result.h"

#include <QLocale>
#include <QMap>
#include <QPointer>
#include <QStringList>

#include <memory>

/**
 * The language engine: the active language, its language file, and the lookup of every
 * visible text by message key.
 *
 * Language files are XML property lists holding one dictionary from message key to text,
 * named after the application and the language ("Organiser_French.plist"), in the
 * "Languages" folder of the per-user application data folder
 * (ZEM_F_Host::appDataFolder()). English is built in: its texts are the default string
 * tables registered by class name (the kit's "ZEM_A_L_Language").
 *
 * Switching the language posts "LanguageCall" through ZEM_F_E_Notifications, with the
 * language's number in the language list as the notification's object (0 for English,
 * which tells controls to restore the texts they were loaded with), and calls
 * `languageCall` on every object registered with setObjectNotifications().
 *
 * Qt follows too: Qt's own translations for the language (the "qt_<locale>.qm" files in
 * QLibraryInfo::TranslationsPath; Debian's package qt6-translations-l10n) replace those
 * installed for the last one, so standard buttons, dialogs and the context menus of text
 * fields speak it where Qt has it and English where not; the application gets a
 * QEvent::LanguageChange, which Qt passes on to every top-level window and widget and
 * their children (changeEvent()). Last, languageChanged() is emitted.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_Language : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_Language *shared();

    /**
     * The text for \a key in the active language, else the key's text in the default
     * tables. A language menu title key ("L:French") without a row gives the language's
     * name ("French"); any other key with neither gives the key itself, so a missing row shows as its key
     * rather than as a blank.
     */
    QString stringForKey(const QString &key) const;
    /**
     * For "NL:", "NT:" and "NP:" keys (labels, tool tips, palette labels): the active language's text, else the part of the key after
     * its first colon ("NL:Show" gives "Show"). A key without a colon gives itself.
     */
    QString stringForKeyLook(const QString &key) const;

    /** "English" until another language is made active. */
    QString activeLanguage() const;
    /**
     * Makes \a language (a name of languageNames()) active: loads its file, then tells
     * every registered object and posts "LanguageCall". "English" needs no file. An
     * unknown name or a missing or unreadable file leaves the active language as it was
     * and gives an error naming the cause.
     */
    ZEM_Result<void> setActiveLanguage(const QString &language);
    /** As setActiveLanguage() with the language's number in languageNames(). */
    ZEM_Result<void> setActiveLanguage(int index);

    /** The locale a language name stands for ("Portuguese (Brazil)": pt_BR); C for none. */
    static QLocale locale(const QString &language);

    /** The languages for which a language file exists, sorted, English excluded. */
    QStringList availableLanguages() const;
    /** Forgets every loaded language file, so the next lookup reads the files again. */
    void reloadLanguageFiles();

    /** The translations of \a language, loading its file on first use; null if none. */
    const ZEM_F_StringTable *languageTable(const QString &language) const;

    /**
     * `l:t:n:`: the text of \a key in the language that \a notification announces (its
     * object: a language number or name; none: the active language). \a kind is "NL" (a
     * label or title), "NT" (a tool tip) or "NP" (a palette label): keys of the "NL:", "NT:"
     * and "NP:" families fall back as stringForKeyLook() does, others as stringForKey().
     */
    QString l(const QString &key, const QString &kind, const ZEM_F_Notification &notification) const;
    /** The language a language-change notification announces. */
    QString languageOfNotification(const ZEM_F_Notification &notification) const;

    /**
     * From now on \a object's `languageCall` (taking a ZEM_F_Notification, or nothing) is
     * called whenever the language changes. Held weakly; false when it has no such member.
     */
    bool setObjectNotifications(QObject *object);
    void removeObjectNotifications(QObject *object);

    // ---- Controls -------------------------------------------------------------------
    //
    // A control shows its texts through properties the engine reads and writes by name:
    // "title", "label", "stringValue", "paletteLabel", "toolTip", and for cells or segments
    // "titles" and "toolTips" (one text each, "" for none). The engine hands the keys it
    // finds back through "titleKey", "toolTipKey", "paletteKey", "titleKeys" and
    // "toolTipKeys". A text written as a message key ("NL:Save", "B:QuitAnyway") is that
    // key, and the control shows the key's text at once; any other text with a letter in
    // it becomes a key of the label family ("Save" gives "NL:Save") or of the tool-tip
    // family ("NT:…"), whose fallback is the text itself. The texts a control was loaded
    // with are remembered for the resets.

    /** The "title" is to be localized: YES with the key in "titleKey". */
    Q_INVOKABLE bool checkTitle(QObject *control);
    Q_INVOKABLE bool checkTitleButton(QObject *control);
    Q_INVOKABLE bool checkTitlePopUp(QObject *control);
    Q_INVOKABLE bool checkBoxTitle(QObject *control);
    Q_INVOKABLE bool checkTitleTableColumn(QObject *control);
    /** As checkTitle() for the "stringValue". */
    Q_INVOKABLE bool checkTitleTextField(QObject *control);
    /** As checkTitle() for the "label". */
    Q_INVOKABLE bool checkLabel(QObject *control);
    /** As checkTitle() for the "paletteLabel", with the key in "paletteKey". */
    Q_INVOKABLE bool checkPalette(QObject *control);
    /** The "titles" that are set, keys in "titleKeys" (untitled cells take no key). */
    Q_INVOKABLE bool checkTitlesButton(QObject *control);
    Q_INVOKABLE bool checkTitlesSegment(QObject *control);
    /** Whether \a cell has a "title". */
    Q_INVOKABLE bool checkForTitle(QObject *cell) const;
    /**
     * The "toolTip" is to be localized: it is set and differs from \a title (null for a
     * control without a title). YES with the key in "toolTipKey".
     */
    Q_INVOKABLE bool checkToolTip(QObject *control, const QString &title);
    /** The "toolTips" that are set, keys in "toolTipKeys". */
    Q_INVOKABLE bool checkToolTips(QObject *control);
    Q_INVOKABLE bool checkToolTipsSegment(QObject *control);
    Q_INVOKABLE bool checkToolTipTableColumn(QObject *control, const QString &noun, const QString &title);
    /**
     * A control with a localized title and no tool tip of its own gets the made-up tool tip
     * "<title> <noun>" now and on every language change: YES.
     */
    Q_INVOKABLE bool checkMadeUpToolTip(QObject *control, const QString &noun);
    /** As checkMadeUpToolTip() for each titled cell without a tool tip. */
    Q_INVOKABLE bool checkMadeUpToolTips(QObject *control, const QString &noun);
    Q_INVOKABLE bool checkMadeUpToolTipsSegment(QObject *control, const QString &noun);
    Q_INVOKABLE bool checkMadeUpToolTipTableColumn(QObject *control, const QString &noun);

    /**
     * Enters \a control's keys ("titleKey", "toolTipKey", "paletteKey" and a search field's
     * "placeholderKey"), with their English texts, in the language dictionary.
     */
    Q_INVOKABLE void addToLangDictionary(QObject *control);
    /** As addToLangDictionary() for the keys of its cells or segments. */
    Q_INVOKABLE void addMultiToLangDictionary(QObject *control);
    /** Every key entered so far, with its English text: the rows a language file needs. */
    QMap<QString, QString> languageDictionary() const;

    /**
     * Puts back the "title" and "toolTip" \a control was loaded with (a key shows its
     * English text); with a \a noun, a control that had no tool tip gets "<title> <noun>".
     */
    Q_INVOKABLE void resetTitleAndToolTip(QObject *control, const QString &noun);
    /** As resetTitleAndToolTip() for the "titles" and "toolTips". */
    Q_INVOKABLE void resetTitlesAndToolTips(QObject *control, const QString &noun);
    Q_INVOKABLE void resetTitlesAndToolTipsSegment(QObject *control, const QString &noun);
    Q_INVOKABLE void resetTitleAndToolTipTableColumn(QObject *control, const QString &noun);
    Q_INVOKABLE void resetTextFieldAndToolTip(QObject *control);
    Q_INVOKABLE void resetLabel(QObject *control);
    Q_INVOKABLE void resetPaletteAndToolTip(QObject *control);

    /** The key a text stands for in \a family ("NL" or "NT"); empty when there is nothing to localize. */
    static QString keyForText(const QString &text, const QString &family);
    /** Whether \a text is written as a message key. */
    static bool isMessageKey(const QString &text);

    /** Adds a default table, found by its registered class name, after those already known. */
    void addDefaultTable(const QString &className);
    QStringList defaultTables() const;

    /** The 33 language names, indexed by their number ("English" is 0). */
    static const QStringList &languageNames();
    /** The number of \a language, or -1. */
    static int languageIndex(const QString &language);
    /** The title key of a language's menu item ("NL:English", "L:French", ...). */
    static QString languageTitleKey(const QString &language);

    /** The per-user "Languages" folder. */
    static QString languagesFolder();
    /**
     * The language files below \a folder (subfolders included) whose relative path begins
     * with \a appName and whose extension is \a ext: language name to file path, for the
     * names of languageNames() other than English.
     */
    static QMap<QString, QString> findLanguageFiles(const QString &folder, const QString &appName,
                                                    const QString &ext = QStringLiteral("plist"));

    /** The file a language is read from (it need not exist). */
    static QString languageFilePath(const QString &language);

    ~ZEM_F_E_Language() override;

signals:
    /** The active language is now \a language, and everything above has been told so. */
    void languageChanged(const QString &language);

private:
    explicit ZEM_F_E_Language(QObject *parent = nullptr);
    struct Private;
    std::unique_ptr<Private> d;
};
