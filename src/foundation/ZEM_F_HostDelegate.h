#pragma once

#include "ZEM_Result.h"
#include "zem_foundation_export.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <memory>

class QSettings;

/**
 * The host's preference object: answers setting lookups by key. Each lookup answers
 * "not set" (a null string, an invalid colour, zero, false) for a key it does not know;
 * callers treat that as the setting's default.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_UserDefaults
{
public:
    virtual ~ZEM_F_UserDefaults();

    /** A text, or a null QString when not set ("VonageUserName", "Label%dF", ...). */
    virtual QString getStringFromClass(const QString &key) const = 0;
    /** Non-zero when the setting is on ("EnableTableRowColoring", ...). */
    virtual int getStringFromClassIsTrue(const QString &key) const = 0;
    /** Non-zero when the setting is off ("DisbleTableColumnHeaderSorting"). */
    virtual int getStringFromClassIsFalse(const QString &key) const = 0;
    /** A flag ("RowInsertionPoint"). */
    virtual bool getBoolFromClass(const QString &key) const = 0;
    /** An integer ("SkypeAreaCode", ...); 0 when not set. */
    virtual int getIntFromClass(const QString &key) const = 0;
    /** A number read as a float ("WindowOffSet"); 0 when not set. */
    virtual double getNumberFromClass(const QString &key) const = 0;
    /** A colour ("PriorityNoneColor", "DateTodayColor", ...); invalid when not set. */
    virtual QColor getColorFromClass(const QString &key) const = 0;
};

/**
 * What the kit asks of its host application. A host derives from this class, answers
 * what it needs and installs it with ZEM_F_Host::setDelegate(). The optional operations
 * (appShowHelpViewer, appShowHelpVideoViewer, skypeConnection) answer
 * ZEM_Error::NotImplemented by default: callers ask before relying on them, exactly as
 * they would ask whether an object answers a selector.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_HostDelegate
{
public:
    virtual ~ZEM_F_HostDelegate();

    /** The host's preference object; never null. */
    virtual ZEM_F_UserDefaults *getSharedUserDefaults() = 0;
    /** The application's own, unlocalized name: names its data folder and log lines. */
    virtual QString getAppName() const = 0;
    /** The name shown to the user; the first argument of most alert texts. */
    virtual QString getAppNameLocalized() const = 0;

    virtual bool useAppLanguages() const { return false; }
    virtual bool useAppDocument() const { return false; }
    virtual bool useAppHelp() const { return false; }
    virtual bool useAppHelpVideo() const { return false; }

    /** Shows a help page such as "MainAdvanced". Optional. */
    virtual ZEM_Result<void> appShowHelpViewer(const QString &page);
    /** Shows a help video. Optional. */
    virtual ZEM_Result<void> appShowHelpVideoViewer(const QString &video);
    /** The host-wide Skype link, or null. Optional. */
    virtual ZEM_Result<QObject *> skypeConnection();
};

/**
 * A host delegate backed by QSettings that a host can use as it is: names given at
 * construction, settings read from the QSettings it is handed (or the application's
 * default QSettings), the use* flags from the settings keys "UseAppLanguages",
 * "UseAppDocument", "UseAppHelp" and "UseAppHelpVideo".
 *
 * Colours are stored as text: "#rrggbb", "#aarrggbb", a colour name, or four numbers
 * "r g b a" between 0 and 1.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_SettingsHostDelegate : public ZEM_F_HostDelegate,
                                                          public ZEM_F_UserDefaults
{
public:
    /** Uses \a settings (not owned; null: a QSettings of the application). */
    explicit ZEM_F_SettingsHostDelegate(QString appName, QString appNameLocalized = {},
                                        QSettings *settings = nullptr);
    ~ZEM_F_SettingsHostDelegate() override;

    ZEM_F_UserDefaults *getSharedUserDefaults() override { return this; }
    QString getAppName() const override { return m_appName; }
    QString getAppNameLocalized() const override;
    bool useAppLanguages() const override;
    bool useAppDocument() const override;
    bool useAppHelp() const override;
    bool useAppHelpVideo() const override;

    QString getStringFromClass(const QString &key) const override;
    int getStringFromClassIsTrue(const QString &key) const override;
    int getStringFromClassIsFalse(const QString &key) const override;
    bool getBoolFromClass(const QString &key) const override;
    int getIntFromClass(const QString &key) const override;
    double getNumberFromClass(const QString &key) const override;
    QColor getColorFromClass(const QString &key) const override;

    /** The settings read; useful to a host's preferences window. */
    QSettings *settings() const;

    /** Parses the colour forms above; invalid when none fits. */
    static QColor colorFromText(const QString &text);

private:
    QString m_appName;
    QString m_appNameLocalized;
    QSettings *m_settings = nullptr;
    std::unique_ptr<QSettings> m_ownSettings;
};

/**
 * Where the kit finds its host delegate. Until a host installs one, a
 * ZEM_F_SettingsHostDelegate named after QCoreApplication::applicationName() answers,
 * so the kit never meets a missing delegate.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_Host
{
public:
    /** Installs \a delegate (not owned; null restores the built-in one). */
    static void setDelegate(ZEM_F_HostDelegate *delegate);
    /** The installed delegate, or the built-in one; never null. */
    static ZEM_F_HostDelegate *delegate();
    /** Shorthand for delegate()->getSharedUserDefaults(). */
    static ZEM_F_UserDefaults *defaults();
    /** Shorthand for delegate()->getAppName(). */
    static QString appName();

    /**
     * The per-user application data folder: the XDG data folder (~/.local/share) plus the
     * application's name. Language files, stores and sample data live under it.
     */
    static QString appDataFolder();
    /** The per-user configuration folder: the XDG config folder plus the application's name. */
    static QString appConfigFolder();
};
