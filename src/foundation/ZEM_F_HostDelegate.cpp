#include "ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

ZEM_F_UserDefaults::~ZEM_F_UserDefaults() = default;
ZEM_F_HostDelegate::~ZEM_F_HostDelegate() = default;

ZEM_Result<void> ZEM_F_HostDelegate::appShowHelpViewer(const QString &)
{
    return ZEM_Error::notImplemented(QStringLiteral("appShowHelpViewer"));
}

ZEM_Result<void> ZEM_F_HostDelegate::appShowHelpVideoViewer(const QString &)
{
    return ZEM_Error::notImplemented(QStringLiteral("appShowHelpVideoViewer"));
}

ZEM_Result<QObject *> ZEM_F_HostDelegate::skypeConnection()
{
    return ZEM_Error::notImplemented(QStringLiteral("skypeConnection"));
}

ZEM_F_SettingsHostDelegate::ZEM_F_SettingsHostDelegate(QString appName, QString appNameLocalized,
                                                       QSettings *settings)
    : m_appName(std::move(appName)), m_appNameLocalized(std::move(appNameLocalized)),
      m_settings(settings)
{
    if (!m_settings) {
        m_ownSettings = std::make_unique<QSettings>(
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                .filePath(m_appName + u'/' + m_appName + QStringLiteral(".conf")),
            QSettings::IniFormat);
        m_settings = m_ownSettings.get();
    }
}

ZEM_F_SettingsHostDelegate::~ZEM_F_SettingsHostDelegate() = default;

QSettings *ZEM_F_SettingsHostDelegate::settings() const { return m_settings; }

QString ZEM_F_SettingsHostDelegate::getAppNameLocalized() const
{
    return m_appNameLocalized.isEmpty() ? m_appName : m_appNameLocalized;
}

bool ZEM_F_SettingsHostDelegate::useAppLanguages() const
{
    return getBoolFromClass(QStringLiteral("UseAppLanguages"));
}

bool ZEM_F_SettingsHostDelegate::useAppDocument() const
{
    return getBoolFromClass(QStringLiteral("UseAppDocument"));
}

bool ZEM_F_SettingsHostDelegate::useAppHelp() const
{
    return getBoolFromClass(QStringLiteral("UseAppHelp"));
}

bool ZEM_F_SettingsHostDelegate::useAppHelpVideo() const
{
    return getBoolFromClass(QStringLiteral("UseAppHelpVideo"));
}

QString ZEM_F_SettingsHostDelegate::getStringFromClass(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    return v.isValid() ? v.toString() : QString();
}

int ZEM_F_SettingsHostDelegate::getStringFromClassIsTrue(const QString &key) const
{
    return getBoolFromClass(key) ? 1 : 0;
}

int ZEM_F_SettingsHostDelegate::getStringFromClassIsFalse(const QString &key) const
{
    // Only an explicit "off" counts; a missing setting is neither on nor off.
    const QVariant v = m_settings->value(key);
    return v.isValid() && !v.toBool() ? 1 : 0;
}

bool ZEM_F_SettingsHostDelegate::getBoolFromClass(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == u"1" || s == u"true" || s == u"yes" || s == u"on";
    }
    return v.toBool();
}

int ZEM_F_SettingsHostDelegate::getIntFromClass(const QString &key) const
{
    return m_settings->value(key).toInt();
}

double ZEM_F_SettingsHostDelegate::getNumberFromClass(const QString &key) const
{
    return m_settings->value(key).toDouble();
}

QColor ZEM_F_SettingsHostDelegate::getColorFromClass(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    if (v.typeId() == QMetaType::QColor)
        return v.value<QColor>();
    if (v.typeId() == QMetaType::QStringList) // "r g b a" with commas reads as a list
        return colorFromText(v.toStringList().join(u' '));
    return colorFromText(v.toString());
}

QColor ZEM_F_SettingsHostDelegate::colorFromText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QStringList parts = t.split(QRegularExpression(QStringLiteral("[\\s,]+")),
                                      Qt::SkipEmptyParts);
    if (parts.size() == 3 || parts.size() == 4) {
        double c[4] = {0, 0, 0, 1};
        bool allNumbers = true;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            bool ok = false;
            c[i] = parts[i].toDouble(&ok);
            allNumbers = allNumbers && ok && c[i] >= 0.0 && c[i] <= 1.0;
        }
        if (allNumbers)
            return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
    }
    if (QColor::isValidColorName(t))
        return QColor::fromString(t);
    return {};
}

namespace {
ZEM_F_HostDelegate *g_delegate = nullptr;
}

void ZEM_F_Host::setDelegate(ZEM_F_HostDelegate *delegate) { g_delegate = delegate; }

ZEM_F_HostDelegate *ZEM_F_Host::delegate()
{
    if (g_delegate)
        return g_delegate;
    static ZEM_F_SettingsHostDelegate *const fallback = [] {
        QString name = QCoreApplication::applicationName();
        if (name.isEmpty())
            name = QStringLiteral("ZEM_AppKit");
        return new ZEM_F_SettingsHostDelegate(name);
    }();
    return fallback;
}

ZEM_F_UserDefaults *ZEM_F_Host::defaults() { return delegate()->getSharedUserDefaults(); }

QString ZEM_F_Host::appName() { return delegate()->getAppName(); }

QString ZEM_F_Host::appDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(appName());
}

QString ZEM_F_Host::appConfigFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(appName());
}
