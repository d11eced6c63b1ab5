// The language engine's side of controls: finding the message keys behind a control's
// texts, remembering the texts it was loaded with, and the language dictionary.
#include "ZEM_F_E_Language.h"

#include <QHash>
#include <QRegularExpression>
#include <QVariant>

namespace {

struct ControlState
{
    // Per control, the value each text property had when the engine first saw it.
    QHash<const QObject *, QHash<QByteArray, QVariant>> loaded;
    QMap<QString, QString> dictionary;
};

ControlState &state()
{
    static ControlState s;
    return s;
}

const QString kLabel = QStringLiteral("NL");
const QString kToolTip = QStringLiteral("NT");

ZEM_F_Notification inEnglish()
{
    return ZEM_F_Notification{QString(), QVariant(0), {}};
}

void remember(ZEM_F_E_Language *engine, QObject *control, const char *property)
{
    auto &texts = state().loaded[control];
    if (texts.isEmpty())
        QObject::connect(control, &QObject::destroyed, engine, [control] { state().loaded.remove(control); });
    if (!texts.contains(property))
        texts.insert(property, control->property(property));
}

QString text(const QObject *control, const char *property)
{
    return control->property(property).toString();
}

} // namespace

bool ZEM_F_E_Language::isMessageKey(const QString &text)
{
    static const QRegularExpression key(QStringLiteral("^[A-Z]{1,3}[0-9]{0,2}:\\S"));
    return key.match(text).hasMatch();
}

QString ZEM_F_E_Language::keyForText(const QString &text, const QString &family)
{
    if (isMessageKey(text))
        return text;
    if (!std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); }))
        return {};
    return family + u':' + text;
}

namespace {

// One text of a control: find its key, hand it over, and show the key's text now.
bool checkText(ZEM_F_E_Language *engine, QObject *control, const char *textProperty, const char *keyProperty,
               const QString &family)
{
    if (!control)
        return false;
    const QString shown = text(control, textProperty);
    const QString key = ZEM_F_E_Language::keyForText(shown, family);
    control->setProperty(keyProperty, key);
    if (key.isEmpty())
        return false;
    remember(engine, control, textProperty);
    const QString localized = engine->l(key, family, {});
    if (localized != shown)
        control->setProperty(textProperty, localized);
    return true;
}

// The texts of cells or segments. Compact: keys for the texts that are set only, as a
// matrix counts its titled cells; otherwise one key per entry, empty for an empty text.
bool checkTexts(ZEM_F_E_Language *engine, QObject *control, const char *textsProperty, const char *keysProperty,
                const QString &family, bool compact)
{
    if (!control)
        return false;
    QStringList texts = control->property(textsProperty).toStringList();
    QStringList keys;
    bool any = false;
    for (QString &t : texts) {
        const QString key = ZEM_F_E_Language::keyForText(t, family);
        if (!key.isEmpty()) {
            any = true;
            t = engine->l(key, family, {});
        }
        if (!key.isEmpty() || !compact)
            keys.append(key);
    }
    control->setProperty(keysProperty, keys);
    if (!any)
        return false;
    remember(engine, control, textsProperty);
    control->setProperty(textsProperty, texts);
    return true;
}

QVariant englishOf(ZEM_F_E_Language *engine, const QVariant &loaded)
{
    const auto english = [engine](const QString &t) {
        return ZEM_F_E_Language::isMessageKey(t) ? engine->l(t, kLabel, inEnglish()) : t;
    };
    if (loaded.typeId() == QMetaType::QStringList) {
        QStringList texts = loaded.toStringList();
        for (QString &t : texts)
            t = english(t);
        return texts;
    }
    if (loaded.typeId() == QMetaType::QString)
        return english(loaded.toString());
    return loaded;
}

// Puts back what the control showed when it was loaded; false when nothing was kept.
bool restore(ZEM_F_E_Language *engine, QObject *control, const char *property)
{
    const auto texts = state().loaded.constFind(control);
    if (texts == state().loaded.cend() || !texts->contains(property))
        return false;
    control->setProperty(property, englishOf(engine, texts->value(property)));
    return true;
}

void madeUpAfterReset(QObject *control, const QString &noun)
{
    const QString title = text(control, "title");
    if (!noun.isEmpty() && !title.isEmpty() && text(control, "toolTip").isEmpty())
        control->setProperty("toolTip", QStringLiteral("%1 %2").arg(title, noun));
}

} // namespace

bool ZEM_F_E_Language::checkTitle(QObject *control)
{
    return checkText(this, control, "title", "titleKey", kLabel);
}

bool ZEM_F_E_Language::checkTitleButton(QObject *control)
{
    return checkTitle(control);
}

bool ZEM_F_E_Language::checkTitlePopUp(QObject *control)
{
    return checkTitle(control);
}

bool ZEM_F_E_Language::checkBoxTitle(QObject *control)
{
    return checkTitle(control);
}

bool ZEM_F_E_Language::checkTitleTableColumn(QObject *control)
{
    return checkTitle(control);
}

bool ZEM_F_E_Language::checkTitleTextField(QObject *control)
{
    return checkText(this, control, "stringValue", "titleKey", kLabel);
}

bool ZEM_F_E_Language::checkLabel(QObject *control)
{
    return checkText(this, control, "label", "titleKey", kLabel);
}

bool ZEM_F_E_Language::checkPalette(QObject *control)
{
    return checkText(this, control, "paletteLabel", "paletteKey", QStringLiteral("NP"));
}

bool ZEM_F_E_Language::checkTitlesButton(QObject *control)
{
    return checkTexts(this, control, "titles", "titleKeys", kLabel, true);
}

bool ZEM_F_E_Language::checkTitlesSegment(QObject *control)
{
    return checkTexts(this, control, "titles", "titleKeys", kLabel, false);
}

bool ZEM_F_E_Language::checkForTitle(QObject *cell) const
{
    return cell && !text(cell, "title").isEmpty();
}

bool ZEM_F_E_Language::checkToolTip(QObject *control, const QString &title)
{
    if (!control)
        return false;
    const QString tip = text(control, "toolTip");
    if (tip.isEmpty() || tip == title) {
        control->setProperty("toolTipKey", QString());
        return false;
    }
    return checkText(this, control, "toolTip", "toolTipKey", kToolTip);
}

bool ZEM_F_E_Language::checkToolTips(QObject *control)
{
    if (!control)
        return false;
    // One tool tip key per titled cell, as the cells take their title keys.
    const QStringList titles = control->property("titles").toStringList();
    QStringList tips = control->property("toolTips").toStringList();
    QStringList keys;
    bool any = false;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (titles.at(i).isEmpty())
            continue;
        const QString key = i < tips.size() ? keyForText(tips.at(i), kToolTip) : QString();
        if (!key.isEmpty()) {
            any = true;
            tips[i] = l(key, kToolTip, {});
        }
        keys.append(key);
    }
    control->setProperty("toolTipKeys", keys);
    if (!any)
        return false;
    remember(this, control, "toolTips");
    control->setProperty("toolTips", tips);
    return true;
}

bool ZEM_F_E_Language::checkToolTipsSegment(QObject *control)
{
    return checkTexts(this, control, "toolTips", "toolTipKeys", kToolTip, false);
}

bool ZEM_F_E_Language::checkToolTipTableColumn(QObject *control, const QString &noun, const QString &title)
{
    Q_UNUSED(noun) // the noun only makes up a tool tip, which checkMadeUpToolTipTableColumn() does
    return checkToolTip(control, title);
}

bool ZEM_F_E_Language::checkMadeUpToolTip(QObject *control, const QString &noun)
{
    if (!control || noun.isEmpty() || !text(control, "toolTip").isEmpty() || text(control, "titleKey").isEmpty())
        return false;
    remember(this, control, "toolTip");
    control->setProperty("toolTip", QStringLiteral("%1 %2").arg(text(control, "title"), noun));
    return true;
}

bool ZEM_F_E_Language::checkMadeUpToolTips(QObject *control, const QString &noun)
{
    if (!control || noun.isEmpty())
        return false;
    const QStringList titles = control->property("titles").toStringList();
    QStringList tips = control->property("toolTips").toStringList();
    tips.resize(titles.size());
    bool any = false;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (titles.at(i).isEmpty() || !tips.at(i).isEmpty())
            continue;
        tips[i] = QStringLiteral("%1 %2").arg(titles.at(i), noun);
        any = true;
    }
    if (!any)
        return false;
    remember(this, control, "toolTips");
    control->setProperty("toolTips", tips);
    return true;
}

bool ZEM_F_E_Language::checkMadeUpToolTipsSegment(QObject *control, const QString &noun)
{
    return checkMadeUpToolTips(control, noun);
}

bool ZEM_F_E_Language::checkMadeUpToolTipTableColumn(QObject *control, const QString &noun)
{
    return checkMadeUpToolTip(control, noun);
}

void ZEM_F_E_Language::addToLangDictionary(QObject *control)
{
    if (!control)
        return;
    for (const char *property : {"titleKey", "toolTipKey", "paletteKey", "placeholderKey"}) {
        const QString key = text(control, property);
        if (!key.isEmpty())
            state().dictionary.insert(key, l(key, kLabel, inEnglish()));
    }
}

void ZEM_F_E_Language::addMultiToLangDictionary(QObject *control)
{
    if (!control)
        return;
    for (const char *property : {"titleKeys", "toolTipKeys"})
        for (const QString &key : control->property(property).toStringList())
            if (!key.isEmpty())
                state().dictionary.insert(key, l(key, kLabel, inEnglish()));
}

QMap<QString, QString> ZEM_F_E_Language::languageDictionary() const
{
    return state().dictionary;
}

void ZEM_F_E_Language::resetTitleAndToolTip(QObject *control, const QString &noun)
{
    if (!control)
        return;
    restore(this, control, "title");
    restore(this, control, "toolTip");
    madeUpAfterReset(control, noun);
}

void ZEM_F_E_Language::resetTitlesAndToolTips(QObject *control, const QString &noun)
{
    if (!control)
        return;
    restore(this, control, "titles");
    restore(this, control, "toolTips");
    if (!noun.isEmpty())
        checkMadeUpToolTips(control, noun);
}

void ZEM_F_E_Language::resetTitlesAndToolTipsSegment(QObject *control, const QString &noun)
{
    resetTitlesAndToolTips(control, noun);
}

void ZEM_F_E_Language::resetTitleAndToolTipTableColumn(QObject *control, const QString &noun)
{
    resetTitleAndToolTip(control, noun);
}

void ZEM_F_E_Language::resetTextFieldAndToolTip(QObject *control)
{
    if (!control)
        return;
    restore(this, control, "stringValue");
    restore(this, control, "toolTip");
}

void ZEM_F_E_Language::resetLabel(QObject *control)
{
    if (control)
        restore(this, control, "label");
}

void ZEM_F_E_Language::resetPaletteAndToolTip(QObject *control)
{
    if (!control)
        return;
    restore(this, control, "label");
    restore(this, control, "paletteLabel");
    restore(this, control, "toolTip");
}
