#pragma once

#include "ZEM_A_C_TextFieldNoResponder.h"
#include "zem_appkit_export.h"

#include <QPointer>

/**
 * A label-like field of the no-responder family (it never takes the focus) that shows
 * another field's value in the large-type window (ZEM_A_E_TransparentTextView) when
 * clicked with Ctrl held (the command key here). Other clicks do what a no-responder
 * field's do.
 *
 * textF is any object with a "stringValue" or "text" property (a QLineEdit, a label, a
 * bound field); a missing object or an empty value shows nothing.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TransparentTextField : public ZEM_A_C_TextFieldNoResponder
{
    Q_OBJECT
    Q_PROPERTY(QObject *textF READ textF WRITE setTextF)
public:
    explicit ZEM_A_C_TransparentTextField(QWidget *parent = nullptr);
    ~ZEM_A_C_TransparentTextField() override;

    /** The field whose value is shown (outlet). */
    QObject *textF() const { return m_textF; }
    void setTextF(QObject *field) { m_textF = field; }

    /** The load of a text field, then the text coloured as the selected knob: the palette's
     * highlight colour. */
    Q_INVOKABLE void awakeFromNib() override;

    /** The value of textF: its "stringValue", else its "text"; null when there is none. */
    QString textFValue() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPointer<QObject> m_textF;
};
