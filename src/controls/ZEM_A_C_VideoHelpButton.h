#pragma once

#include "ZEM_A_C_NSButton.h"
#include "zem_appkit_export.h"

/**
 * A button that opens the host's help video helpVideoFile: the help button's rules with
 * useAppHelpVideo, the tool tip "Open Video Help Viewer", and the image "VideoHelpSmall"
 * shown alone.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_VideoHelpButton : public ZEM_A_C_NSButton
{
    Q_OBJECT
    Q_PROPERTY(QString helpVideoFile READ helpVideoFile WRITE setHelpVideoFile)
public:
    explicit ZEM_A_C_VideoHelpButton(QWidget *parent = nullptr);
    ~ZEM_A_C_VideoHelpButton() override;

    QString helpVideoFile() const { return m_helpVideoFile; }
    void setHelpVideoFile(const QString &file) { m_helpVideoFile = file; }

    void awakeFromNib() override;

public slots:
    /** Asks the host delegate to show helpVideoFile. */
    void videoHelpAction();

private:
    QString m_helpVideoFile;
};
