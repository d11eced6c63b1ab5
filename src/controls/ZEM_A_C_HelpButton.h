#pragma once

#include "ZEM_A_C_NSButton.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

/**
 * A button that opens the host's help viewer on helpFile.
 *
 * It is shown only when the host delegate uses the application help (useAppHelp), never
 * takes the focus, and has the tool tip "Open Help Viewer". With tag 0 a press opens the
 * help; a button with another tag is left for its host to wire.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_HelpButton : public ZEM_A_C_NSButton
{
    Q_OBJECT
    Q_PROPERTY(QString helpFile READ helpFile WRITE setHelpFile)
public:
    explicit ZEM_A_C_HelpButton(QWidget *parent = nullptr);
    ~ZEM_A_C_HelpButton() override;

    QString helpFile() const { return m_helpFile; }
    void setHelpFile(const QString &file) { m_helpFile = file; }

    void awakeFromNib() override;

    /**
     * The help buttons' common start-up before the button's own: hidden unless \a shown,
     * the tool tip from \a toolTipKey, and no focus.
     */
    static void prepareHelpButton(ZEM_A_C_NSButton *button, bool shown, const QString &toolTipKey);
    /** Logs a help viewer that could not be shown; true when it was. */
    static bool reportHelpResult(const ZEM_Result<void> &result, const QString &what);

public slots:
    /** Asks the host delegate to show helpFile. */
    void helpAction();

private:
    QString m_helpFile;
};
