#include "ZEM_A_C_TextViewNoBackground.h"

#include "foundation/ZEM_F_E_DebugMachine.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QWindow>

namespace {
void clearBackground(QAbstractScrollArea *area)
{
    area->setFrameShape(QFrame::NoFrame);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    QPalette palette = area->viewport()->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    area->viewport()->setPalette(palette);
}
} // namespace

ZEM_A_C_TextViewNoBackground::ZEM_A_C_TextViewNoBackground(QWidget *parent)
    : ZEM_A_C_NSTextView(parent)
{
}

ZEM_A_C_TextViewNoBackground::~ZEM_A_C_TextViewNoBackground() = default;

void ZEM_A_C_TextViewNoBackground::awakeFromNib()
{
    ZEM_A_C_NSTextView::awakeFromNib();
    m_delegate = this;
    clearBackground(this);
    for (QWidget *up = parentWidget(); up; up = up->parentWidget()) {
        if (auto *area = qobject_cast<QAbstractScrollArea *>(up)) {
            clearBackground(area);
            break;
        }
    }
    setFocusPolicy(acceptsFirstResponder() ? Qt::StrongFocus : Qt::NoFocus);
}

bool ZEM_A_C_TextViewNoBackground::acceptsFirstResponder() const
{
    return ZEM_F_E_DebugMachine::shared()->checkIsDebugMachine();
}

void ZEM_A_C_TextViewNoBackground::focusInEvent(QFocusEvent *event)
{
    // setFocus() ignores the focus policy, so refuse here as well.
    if (!acceptsFirstResponder()) {
        clearFocus();
        return;
    }
    ZEM_A_C_NSTextView::focusInEvent(event);
}

void ZEM_A_C_TextViewNoBackground::mousePressEvent(QMouseEvent *event)
{
    // Where the view takes no focus it is a label, and a press on it drags the window.
    if (!acceptsFirstResponder() && event->button() == Qt::LeftButton && window()->windowHandle()
        && window()->windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    ZEM_A_C_NSTextView::mousePressEvent(event);
}
