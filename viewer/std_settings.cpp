#include "std_settings.h"

#include "guideline_view.h"
#include "ui_support.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace talmiro {

namespace {

QFont FixedFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int x, int y) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 75, 25);
    button->setAutoDefault(true); // Enter presses the focused button; elsewhere it presses Ok
    return button;
}

} // namespace

TdlgStdSettings::TdlgStdSettings(QWidget* parent)
    : QDialog(parent), CompilerSDF1(std::make_unique<TCompilerSDF>()),
      CompilerMDF1(std::make_unique<TCompilerMDF>()) {
    setObjectName(QStringLiteral("dlgStdSettings"));
    setWindowTitle(QStringLiteral("Standard settings"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    move(284, 135);
    setFixedSize(419, 297);

    GroupBox1 = new QGroupBox(QStringLiteral("Standard Settings"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 401, 249);

    Label1 = new QLabel(QStringLiteral("Select &standard"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 24);
    Label1->adjustSize();
    cbStandards = new QComboBox(GroupBox1);
    cbStandards->setObjectName(QStringLiteral("cbStandards"));
    cbStandards->setGeometry(16, 40, 153, 24);
    cbStandards->setFont(FixedFont());
    cbStandards->setEditable(false);
    Label1->setBuddy(cbStandards);

    btnStdEdit = MakeButton("btnStdEdit", QStringLiteral("Edit..."), GroupBox1, 16, 72);
    btnStdComp = MakeButton("btnStdComp", QStringLiteral("Compile..."), GroupBox1, 96, 72);

    Label2 = new QLabel(QStringLiteral("&Messages"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(192, 24);
    Label2->adjustSize();
    lbMessages = new QListWidget(GroupBox1);
    lbMessages->setObjectName(QStringLiteral("lbMessages"));
    lbMessages->setGeometry(192, 40, 105, 193);
    lbMessages->setFont(FixedFont());
    lbMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    Label2->setBuddy(lbMessages);

    btnMsgEdit = MakeButton("btnMsgEdit", QStringLiteral("Edit..."), GroupBox1, 304, 40);
    btnMsgComp = MakeButton("btnMsgComp", QStringLiteral("Compile..."), GroupBox1, 304, 72);

    // The installed guidelines, below the standard's buttons; the user chooses one for a message from the
    // Standards menu.
    Label3 = new QLabel(QStringLiteral("&Guidelines"), GroupBox1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->move(16, 104);
    Label3->adjustSize();
    lbGuidelines = new QListWidget(GroupBox1);
    lbGuidelines->setObjectName(QStringLiteral("lbGuidelines"));
    lbGuidelines->setGeometry(16, 120, 153, 113);
    lbGuidelines->setFont(FixedFont());
    Label3->setBuddy(lbGuidelines);

    btnOk = MakeButton("btnOk", QStringLiteral("Ok"), this, 256, 264);
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    btnCancel = MakeButton("btnCancel", QStringLiteral("Cancel"), this, 336, 264);
    btnOk->setFocus(); // first in the tab order, so it has the focus when the dialog first shows

    // Dialog: Ok, Cancel, then the group; within the group: standards, messages, Compile, Edit, then
    // the message buttons.
    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, cbStandards);
    setTabOrder(cbStandards, lbMessages);
    setTabOrder(lbMessages, btnStdComp);
    setTabOrder(btnStdComp, btnStdEdit);
    setTabOrder(btnStdEdit, btnMsgEdit);
    setTabOrder(btnMsgEdit, btnMsgComp);
    setTabOrder(btnMsgComp, lbGuidelines);

    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbStandards, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!mirroring_) Guarded([&] { cbStandardsChange(index); });
    });
    connect(btnStdEdit, &QPushButton::clicked, this, [this] { Guarded([&] { btnStdEditClick(); }); });
    connect(btnStdComp, &QPushButton::clicked, this, [this] { Guarded([&] { btnStdCompClick(); }); });
    connect(btnMsgEdit, &QPushButton::clicked, this, [this] { Guarded([&] { btnMsgEditClick(); }); });
    connect(btnMsgComp, &QPushButton::clicked, this, [this] { Guarded([&] { btnMsgCompClick(); }); });

    Catalogue.OnChange = [this] { MirrorCatalogue(); };
}

TdlgStdSettings::~TdlgStdSettings() {
    Catalogue.OnChange = nullptr;
}

void TdlgStdSettings::LoadSettings(const std::string& iniFileName) {
    Catalogue.LoadSettings(iniFileName.empty() ? FindIniFile(DefaultConfigLocations()) : iniFileName);
}

bool TdlgStdSettings::ShowSettings() {
    MirrorGuidelines(); // compiled or removed since
    return exec() == QDialog::Accepted;
}

void TdlgStdSettings::MirrorCatalogue() {
    mirroring_ = true;
    // Rebuilt only when the standards differ, so a change of selection keeps the combo box's items.
    bool same = cbStandards->count() == static_cast<int>(Catalogue.Standards().size());
    for (int i = 0; same && i < cbStandards->count(); ++i) {
        const TStandard& s = Catalogue.Standards()[static_cast<size_t>(i)];
        same = cbStandards->itemText(i) == QString::fromStdString(s.Name) &&
               cbStandards->itemData(i).toString() == QString::fromStdString(s.Directory);
    }
    if (!same) {
        cbStandards->clear();
        for (const TStandard& s : Catalogue.Standards())
            cbStandards->addItem(QString::fromStdString(s.Name), QString::fromStdString(s.Directory));
    }
    cbStandards->setCurrentIndex(Catalogue.Selected());
    lbMessages->clear();
    for (const std::string& m : Catalogue.Messages())
        lbMessages->addItem(QString::fromStdString(m));
    mirroring_ = false;
    MirrorGuidelines();
}

void TdlgStdSettings::MirrorGuidelines() {
    lbGuidelines->clear();
    const TGuidelineCatalogue& guidelines = ViewerGuidelines(Catalogue.BaseDir);
    for (const auto& g : guidelines.Installed()) {
        auto* item = new QListWidgetItem(QString::fromStdString(g->Id), lbGuidelines);
        QString tip = GuidelineCaption(*g);
        if (!g->Associations.empty())
            tip += QStringLiteral("\nAssociation codes: %1")
                       .arg(QString::fromStdString(g->Associations.front()));
        for (size_t i = 1; i < g->Associations.size(); ++i)
            tip += QStringLiteral(", ") + QString::fromStdString(g->Associations[i]);
        item->setToolTip(tip);
    }
}

int TdlgStdSettings::SelectedMessage() const {
    const QList<QListWidgetItem*> items = lbMessages->selectedItems();
    return items.isEmpty() ? -1 : lbMessages->row(items.first());
}

void TdlgStdSettings::cbStandardsChange(int index) {
    Catalogue.SetSelected(index);
}

void TdlgStdSettings::EditFile(const std::string& path) {
    if (UiHooks().EditFile) UiHooks().EditFile(path);
}

// No check that a standard is selected: with none the path is just the separator and ".sdf".
void TdlgStdSettings::btnStdEditClick() {
    EditFile(Catalogue.StandardSourcePath());
}

void TdlgStdSettings::btnStdCompClick() {
    TBusyCursor busy;
    CompilerSDF1->SetSourceFile(Catalogue.StandardSourcePath());
    CompilerSDF1->Modifiable = false;
    CompilerSDF1->Compile();
}

void TdlgStdSettings::btnMsgEditClick() {
    int message = SelectedMessage();
    if (message >= 0) EditFile(Catalogue.MessageSourcePath(message));
}

void TdlgStdSettings::btnMsgCompClick() {
    int message = SelectedMessage();
    if (message < 0) return;
    TBusyCursor busy;
    CompilerMDF1->SetSourceFile(Catalogue.MessageSourcePath(message));
    CompilerMDF1->Modifiable = false;
    CompilerMDF1->Compile();
}

} // namespace talmiro
