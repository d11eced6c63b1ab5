#pragma once

#include "zem_appkit_export.h"

#include <QTextEdit>

/**
 * The read-only text view of the large-type window. It draws no background of its own
 * (nor does its viewport), shows no scroll bars and does not take part in text selection:
 * mouse presses, and the drags that follow them, go to its window, which decides between
 * closing and moving.
 */
class ZEM_APPKIT_EXPORT ZEM_A_I_TransparentView : public QTextEdit
{
    Q_OBJECT
public:
    explicit ZEM_A_I_TransparentView(QWidget *parent = nullptr);
    ~ZEM_A_I_TransparentView() override;

    /** The text shown, as plain text. */
    QString string() const { return toPlainText(); }
    void setString(const QString &string) { setPlainText(string); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void forwardToWindow(QMouseEvent *event);
};
