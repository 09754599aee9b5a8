// The standards settings dialog: the standards below the base directory and their message definitions,
// with Edit and Compile for each source. Its lists mirror the app layer's catalogue.
#pragma once

#include "talmiro/compiler.h"
#include "talmiro/standards.h"

#include <QDialog>

#include <memory>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace talmiro {

class TdlgStdSettings : public QDialog {
    Q_OBJECT
public:
    explicit TdlgStdSettings(QWidget* parent = nullptr);
    ~TdlgStdSettings() override;

    TStandardsCatalogue Catalogue;
    std::unique_ptr<TCompilerSDF> CompilerSDF1;
    std::unique_ptr<TCompilerMDF> CompilerMDF1;

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QComboBox* cbStandards;
    QPushButton* btnStdEdit;
    QPushButton* btnStdComp;
    QLabel* Label2;
    QListWidget* lbMessages;
    QPushButton* btnMsgEdit;
    QPushButton* btnMsgComp;
    QLabel* Label3;
    QListWidget* lbGuidelines; // the installed implementation guidelines
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Reads the configuration file (by default the TALMIRO.INI found first), then scans.
    void LoadSettings(const std::string& iniFileName = {});
    bool SelectStandard(const std::string& name) { return Catalogue.SelectStandard(name); }
    std::string StandardDir() const { return Catalogue.StandardDir(); }
    // Modal; true when closed with Ok. The lists are not rebuilt and nothing is saved.
    bool ShowSettings();

    // The selected message's index, or -1.
    int SelectedMessage() const;

    void cbStandardsChange(int index);
    void btnStdEditClick();
    void btnStdCompClick();
    void btnMsgEditClick();
    void btnMsgCompClick();
    void EditFile(const std::string& path);

private:
    void MirrorCatalogue();
    void MirrorGuidelines();
    bool mirroring_ = false;
};

} // namespace talmiro
