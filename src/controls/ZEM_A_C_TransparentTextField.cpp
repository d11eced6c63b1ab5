#include "ZEM_A_C_TransparentTextField.h"

#include "platform/InterfaceLoader.h"
#include "services/ZEM_A_E_TransparentTextView.h"

#include <QMouseEvent>

ZEM_A_C_TransparentTextField::ZEM_A_C_TransparentTextField(QWidget *parent)
    : ZEM_A_C_TextFieldNoResponder(parent)
{
}

ZEM_A_C_TransparentTextField::~ZEM_A_C_TransparentTextField() = default;

void ZEM_A_C_TransparentTextField::awakeFromNib()
{
    ZEM_A_C_TextFieldNoResponder::awakeFromNib();
    QPalette colours = palette();
    colours.setColor(QPalette::Text, colours.color(QPalette::Highlight));
    setPalette(colours);
}

QString ZEM_A_C_TransparentTextField::textFValue() const
{
    if (!m_textF)
        return {};
    for (const char *name : {"stringValue", "text"}) {
        const QVariant value = m_textF->property(name);
        if (value.isValid())
            return value.toString();
    }
    return {};
}

void ZEM_A_C_TransparentTextField::mousePressEvent(QMouseEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        ZEM_A_C_TextFieldNoResponder::mousePressEvent(event);
        return;
    }
    event->accept();
    const QString value = textFValue();
    if (value.isEmpty())
        return;
    ZEM_A_E_TransparentTextView::shared()->showTransparentWindow(value);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_TransparentTextField)
