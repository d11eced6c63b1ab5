#include "ZEM_A_C_NSSearchField.h"

#include "foundation/ZEM_F_E_Language.h"
#include "platform/InterfaceLoader.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

ZEM_A_C_NSSearchField::ZEM_A_C_NSSearchField(QWidget *parent) : ZEM_A_C_ToolTipOnly<QLineEdit>(parent) {}

ZEM_A_C_NSSearchField::~ZEM_A_C_NSSearchField() = default;

void ZEM_A_C_NSSearchField::awakeFromNib()
{
    // Before the registration, so the dictionary entry a second later has the key.
    m_placeholderKey = ZEM_F_E_Language::keyForText(placeholderText(), QStringLiteral("NL"));
    if (!m_placeholderKey.isEmpty())
        setPlaceholderText(ZEM_A_C_Localized::text(m_placeholderKey, QStringLiteral("NL"), {}));
    awakeToolTipOnly(QStringLiteral("NT:Search Field"));
}

void ZEM_A_C_NSSearchField::languageCall(const ZEM_F_Notification &notification)
{
    languageCallToolTipOnly(notification);
    // The return to the loaded texts is the key's English text, which is what was loaded.
    if (!m_placeholderKey.isEmpty())
        setPlaceholderText(ZEM_A_C_Localized::text(m_placeholderKey, QStringLiteral("NL"), notification));
}

void ZEM_A_C_NSSearchField::setTable(QAbstractItemView *table)
{
    m_table = table;
    if (table && table->window() == window())
        setTabOrder(this, table);
}

QWidget *ZEM_A_C_NSSearchField::nextKeyView() const
{
    return m_table ? m_table.data() : nextInFocusChain();
}

bool ZEM_A_C_NSSearchField::handleArrowKeyEventNoModifier(int key)
{
    if (!m_table || (key != Qt::Key_Up && key != Qt::Key_Down))
        return false;
    stepTable(key);
    return true;
}

bool ZEM_A_C_NSSearchField::stepTable(int key)
{
    if (!m_table || !m_table->model() || (key != Qt::Key_Up && key != Qt::Key_Down))
        return false;
    const QAbstractItemModel *model = m_table->model();
    const int count = model->rowCount(m_table->rootIndex());
    if (count < 2)
        return true;
    QItemSelectionModel *selection = m_table->selectionModel();
    const QModelIndexList selected = selection ? selection->selectedRows() : QModelIndexList();
    const int current = !selected.isEmpty() ? selected.first().row()
                        : selection && selection->currentIndex().isValid() ? selection->currentIndex().row()
                                                                            : -1;
    int row = 0;
    if (key == Qt::Key_Up)
        row = current <= 0 ? count - 1 : current - 1;
    else
        row = current < 0 || current >= count - 1 ? 0 : current + 1;
    const QModelIndex index = model->index(row, 0, m_table->rootIndex());
    if (selection)
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
    return true;
}

void ZEM_A_C_NSSearchField::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier && stepTable(event->key())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSSearchField)
