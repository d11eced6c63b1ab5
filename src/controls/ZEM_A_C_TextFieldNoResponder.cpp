#include "ZEM_A_C_TextFieldNoResponder.h"

#include "platform/InterfaceLoader.h"
#include <QMouseEvent>
#include <QWindow>

namespace {
const QChar colon = u':';
}

ZEM_A_C_TextFieldNoResponder::ZEM_A_C_TextFieldNoResponder(QWidget *parent)
    : ZEM_A_C_TextFieldNoResponder(QString(), parent)
{
}

ZEM_A_C_TextFieldNoResponder::ZEM_A_C_TextFieldNoResponder(const QString &text, QWidget *parent)
    : ZEM_A_C_NSTextField(text, parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

ZEM_A_C_TextFieldNoResponder::~ZEM_A_C_TextFieldNoResponder() = default;

QString ZEM_A_C_TextFieldNoResponder::stringValue() const
{
    const QString shown = text();
    return shown.endsWith(colon) ? shown.chopped(1) : shown;
}

void ZEM_A_C_TextFieldNoResponder::setStringValue(const QString &value)
{
    // A value that brings its own colon is not given a second one.
    if (text().endsWith(colon) && !value.endsWith(colon))
        setText(value + colon);
    else
        setText(value);
}

void ZEM_A_C_TextFieldNoResponder::mousePressEvent(QMouseEvent *event)
{
    QWindow *handle = window()->windowHandle();
    if (event->button() == Qt::LeftButton && handle && handle->startSystemMove()) {
        event->accept();
        return;
    }
    // Without a window system move, the press is an ordinary one (no focus is taken).
    ZEM_A_C_NSTextField::mousePressEvent(event);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_TextFieldNoResponder)
