#pragma once

#include "ZEM_A_C_NSTextField.h"
#include "zem_appkit_export.h"

/**
 * A label-like text field: read-only, never focused, frameless; a press on it moves its
 * window.
 *
 * A label that ends with a colon keeps it: while the shown text ends with ":", a new
 * value is shown with ":" appended, and the value read back is the text without that
 * final ":".
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TextFieldNoResponder : public ZEM_A_C_NSTextField
{
    Q_OBJECT
public:
    explicit ZEM_A_C_TextFieldNoResponder(QWidget *parent = nullptr);
    explicit ZEM_A_C_TextFieldNoResponder(const QString &text, QWidget *parent = nullptr);
    ~ZEM_A_C_TextFieldNoResponder() override;

    QString stringValue() const override;
    void setStringValue(const QString &value) override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
