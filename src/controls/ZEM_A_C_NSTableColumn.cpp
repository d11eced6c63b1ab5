#include "ZEM_A_C_NSTableColumn.h"

#include "foundation/ZEM_F_ClassRegistry.h"

#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QHeaderView>
#include <QTableView>

namespace {
const QString kNoun = QStringLiteral("B:Column");

// Interface files give a column its table as parent; the loader sets the section.
[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerFactory(
    QStringLiteral("ZEM_A_C_NSTableColumn"), [](QObject *parent) -> QObject * {
        return new ZEM_A_C_NSTableColumn(qobject_cast<QTableView *>(parent), 0, parent);
    });
}

ZEM_A_C_NSTableColumn::ZEM_A_C_NSTableColumn(QTableView *view, int section, QObject *parent)
    : QObject(parent), m_view(view), m_section(section)
{
}

ZEM_A_C_NSTableColumn::~ZEM_A_C_NSTableColumn() = default;

QVariant ZEM_A_C_NSTableColumn::headerData(int role) const
{
    const QAbstractItemModel *model = m_view ? m_view->model() : nullptr;
    if (!model || m_section < 0 || m_section >= model->columnCount())
        return {};
    return model->headerData(m_section, Qt::Horizontal, role);
}

void ZEM_A_C_NSTableColumn::setHeaderData(const QVariant &value, int role)
{
    QAbstractItemModel *model = m_view ? m_view->model() : nullptr;
    if (!model || m_section < 0 || m_section >= model->columnCount())
        return;
    model->setHeaderData(m_section, Qt::Horizontal, value, role);
    // Models that keep no header data of their own emit nothing: redraw regardless.
    m_view->horizontalHeader()->headerDataChanged(Qt::Horizontal, m_section, m_section);
    m_view->horizontalHeader()->viewport()->update();
}

QString ZEM_A_C_NSTableColumn::title() const
{
    const QVariant shown = headerData(Qt::DisplayRole);
    return shown.isValid() ? shown.toString() : m_title;
}

void ZEM_A_C_NSTableColumn::setTitle(const QString &title)
{
    m_title = title;
    setHeaderData(title, Qt::DisplayRole);
}

QString ZEM_A_C_NSTableColumn::toolTip() const
{
    const QVariant shown = headerData(Qt::ToolTipRole);
    return shown.isValid() ? shown.toString() : m_toolTip;
}

void ZEM_A_C_NSTableColumn::setToolTip(const QString &toolTip)
{
    m_toolTip = toolTip;
    m_lang.currentToolTipKey = toolTip;
    setHeaderData(toolTip, Qt::ToolTipRole);
}

void ZEM_A_C_NSTableColumn::awakeFromNib()
{
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    const QString noun = ZEM_A_C_Localized::noun(kNoun);
    m_lang.hasTitle = engine->checkTitleTableColumn(this);
    m_lang.hasToolTip = engine->checkToolTipTableColumn(this, noun, m_lang.hasTitle ? title() : QString());
    m_lang.hasMadeUpToolTip = engine->checkMadeUpToolTipTableColumn(this, noun);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSTableColumn::languageCall(const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        ZEM_A_C_Localized::engine()->resetTitleAndToolTipTableColumn(this, ZEM_A_C_Localized::noun(kNoun));
        return;
    }
    ZEM_A_C_LocalizedSteps::applyLanguage(this, m_lang, "title", true, kNoun, notification);
}
