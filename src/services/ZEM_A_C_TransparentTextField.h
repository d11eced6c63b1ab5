#pragma once

#include "zem_appkit_export.h"

#include <QLineEdit>
#include <QPointer>

/**
 * A text field that shows another field's value in the large-type window when clicked
 * with Ctrl held (the command key here). Other clicks behave as in any line edit.
 *
 * textF is any object with a "stringValue" or "text" property (a QLineEdit, a label, a
 * bound field); a missing object or an empty value shows nothing.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TransparentTextField : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QObject *textF READ textF WRITE setTextF)
public:
    explicit ZEM_A_C_TransparentTextField(QWidget *parent = nullptr);
    ~ZEM_A_C_TransparentTextField() override;

    /** The field whose value is shown (outlet). */
    QObject *textF() const { return m_textF; }
    void setTextF(QObject *field) { m_textF = field; }

    /** Colours the text as the selected knob: the palette's highlight colour. */
    Q_INVOKABLE void awakeFromNib();

    /** The value of textF: its "stringValue", else its "text"; null when there is none. */
    QString textFValue() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPointer<QObject> m_textF;
};
