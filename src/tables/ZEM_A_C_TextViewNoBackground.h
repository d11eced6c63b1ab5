#pragma once

#include "controls/ZEM_A_C_NSTextView.h"
#include "zem_appkit_export.h"

#include <QPointer>

/**
 * A text view that draws no background, so it reads as a label over whatever lies behind
 * it and behind its enclosing scroll view. It takes keyboard focus only on a development
 * machine; elsewhere a press in it may move the window.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TextViewNoBackground : public ZEM_A_C_NSTextView
{
    Q_OBJECT
public:
    explicit ZEM_A_C_TextViewNoBackground(QWidget *parent = nullptr);
    ~ZEM_A_C_TextViewNoBackground() override;

    /** Start-up: the view becomes its own delegate, and neither it nor its enclosing scroll view draws a background. */
    Q_INVOKABLE void awakeFromNib();
    QObject *delegate() const { return m_delegate; }
    /** Only on a development machine (read at each call). */
    Q_INVOKABLE bool acceptsFirstResponder() const;
    Q_INVOKABLE bool mouseDownCanMoveWindow() const { return true; }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPointer<QObject> m_delegate;
};
