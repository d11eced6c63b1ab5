#include "ZEM_A_C_NSMatrix.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_E_Language.h"
#include "platform/ButtonCell.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPushButton>
#include <QRadioButton>

namespace {
const QString kNoun = QStringLiteral("NL:Button");
}

ZEM_A_C_NSMatrix::ZEM_A_C_NSMatrix(QWidget *parent) : ZEM_A_C_NSMatrix(PushButtons, 1, parent) {}

ZEM_A_C_NSMatrix::ZEM_A_C_NSMatrix(Mode mode, int columns, QWidget *parent)
    : QWidget(parent), m_mode(mode), m_columns(qMax(1, columns)), m_layout(new QGridLayout(this)),
      m_group(new QButtonGroup(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_group->setExclusive(mode == RadioButtons);
}

ZEM_A_C_NSMatrix::~ZEM_A_C_NSMatrix() = default;

platform::ButtonCell *ZEM_A_C_NSMatrix::addCell(const QString &title)
{
    auto *cell = new platform::ButtonCell(title, this);
    QAbstractButton *button = m_mode == RadioButtons ? static_cast<QAbstractButton *>(new QRadioButton(this))
                                                     : new QPushButton(this);
    const int index = int(m_cells.size());
    m_cells.append(cell);
    m_buttons.append(button);
    m_group->addButton(button, index);
    m_layout->addWidget(button, index / m_columns, index % m_columns);
    connect(cell, &platform::ButtonCell::changed, this, [this, index] { showCell(index); });
    showCell(index);
    return cell;
}

platform::ButtonCell *ZEM_A_C_NSMatrix::cellAt(int index) const
{
    return index >= 0 && index < m_cells.size() ? m_cells.at(index) : nullptr;
}

QAbstractButton *ZEM_A_C_NSMatrix::buttonAt(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons.at(index) : nullptr;
}

int ZEM_A_C_NSMatrix::selectedIndex() const
{
    return m_group->checkedId();
}

void ZEM_A_C_NSMatrix::showCell(int index)
{
    const platform::ButtonCell *cell = m_cells.at(index);
    QAbstractButton *button = m_buttons.at(index);
    const bool imageOnly = cell->imagePosition() == platform::ImagePosition::ImageOnly;
    button->setText(imageOnly ? QString() : cell->title());
    button->setIcon(cell->image().isNull() ? QIcon() : QIcon(QPixmap::fromImage(cell->image())));
    button->setProperty("tag", cell->tag());
}

QStringList ZEM_A_C_NSMatrix::titles() const
{
    QStringList result;
    for (const platform::ButtonCell *cell : m_cells)
        result.append(cell->title());
    return result;
}

void ZEM_A_C_NSMatrix::setTitles(const QStringList &titles)
{
    // An interface file gives a matrix its cells this way, so titles past the end add cells.
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (i < m_cells.size())
            m_cells.at(i)->setTitle(titles.at(i));
        else
            addCell(titles.at(i));
    }
}

QStringList ZEM_A_C_NSMatrix::toolTips() const
{
    QStringList result;
    for (const QAbstractButton *button : m_buttons)
        result.append(button->toolTip());
    return result;
}

void ZEM_A_C_NSMatrix::setToolTips(const QStringList &toolTips)
{
    for (qsizetype i = 0; i < qMin(toolTips.size(), m_buttons.size()); ++i)
        m_buttons.at(i)->setToolTip(toolTips.at(i));
}

void ZEM_A_C_NSMatrix::awakeFromNib()
{
    if (m_tag < 0)
        return;
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    m_lang.hasTitles = engine->checkTitlesButton(this);
    m_lang.hasToolTip = engine->checkToolTip(this, QString());
    m_lang.hasToolTips = engine->checkToolTips(this);
    m_lang.hasMadeUpToolTips = engine->checkMadeUpToolTips(this, ZEM_A_C_Localized::noun(kNoun));
    // The keys belong to the cells titled now, in order; each cell keeps its own, whatever
    // happens to the titles of the others later.
    m_keyIndex.clear();
    int key = 0;
    for (platform::ButtonCell *cell : std::as_const(m_cells))
        m_keyIndex.append(engine->checkForTitle(cell) ? key++ : -1);
    m_lang.registerForLanguage(true);
}

void ZEM_A_C_NSMatrix::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    if (ZEM_A_C_Localized::isReset(notification)) {
        const QString noun = ZEM_A_C_Localized::noun(kNoun);
        engine->resetTitleAndToolTip(this, noun);
        engine->resetTitlesAndToolTips(this, noun);
        return;
    }
    const QString noun = ZEM_A_C_Localized::text(kNoun, QStringLiteral("NL"), notification);
    if (m_lang.hasToolTip)
        setToolTip(ZEM_A_C_Localized::text(m_lang.toolTipKey, QStringLiteral("NT"), notification));

    // Keys belong to cells titled at the load only: an untitled cell does not use one up.
    for (qsizetype i = 0; i < m_cells.size(); ++i) {
        platform::ButtonCell *cell = m_cells.at(i);
        const qsizetype k = m_keyIndex.value(i, -1);
        if (k < 0 || !engine->checkForTitle(cell))
            continue;
        if (m_lang.hasTitles && k < m_lang.titleKeys.size())
            cell->setTitle(ZEM_A_C_Localized::text(m_lang.titleKeys.at(k), QStringLiteral("NL"), notification));
        const QString tipKey = k < m_lang.toolTipKeys.size() ? m_lang.toolTipKeys.at(k) : QString();
        if (m_lang.hasToolTips && !tipKey.isEmpty())
            m_buttons.at(i)->setToolTip(ZEM_A_C_Localized::text(tipKey, QStringLiteral("NL"), notification));
        else if (m_lang.hasMadeUpToolTips)
            m_buttons.at(i)->setToolTip(QStringLiteral("%1 %2").arg(cell->title(), noun));
    }
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSMatrix)
