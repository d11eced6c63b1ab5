#include "ZEM_A_I_TransparentView.h"

#include <QCoreApplication>
#include <QMouseEvent>

ZEM_A_I_TransparentView::ZEM_A_I_TransparentView(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::NoWrap);
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    document()->setDocumentMargin(0);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    clear.setColor(QPalette::Window, Qt::transparent);
    setPalette(clear);
}

ZEM_A_I_TransparentView::~ZEM_A_I_TransparentView() = default;

void ZEM_A_I_TransparentView::forwardToWindow(QMouseEvent *event)
{
    QWidget *target = window();
    if (!target || target == this) {
        event->ignore();
        return;
    }
    const QPointF global = event->globalPosition();
    QMouseEvent forwarded(event->type(), target->mapFromGlobal(global), global, event->button(),
                          event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(target, &forwarded);
    event->setAccepted(forwarded.isAccepted());
}

void ZEM_A_I_TransparentView::mousePressEvent(QMouseEvent *event)
{
    forwardToWindow(event);
}

// The drags that follow a press go to the window too: the text covers most of it, and
// a command-drag anywhere on it must move the window rather than select text.
void ZEM_A_I_TransparentView::mouseMoveEvent(QMouseEvent *event)
{
    forwardToWindow(event);
}

void ZEM_A_I_TransparentView::mouseReleaseEvent(QMouseEvent *event)
{
    forwardToWindow(event);
}

void ZEM_A_I_TransparentView::mouseDoubleClickEvent(QMouseEvent *event)
{
    forwardToWindow(event);
}
