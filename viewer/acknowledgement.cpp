// Messages › Save acknowledgement: the CONTRL answering the displayed file, written by the same code as
// `talmiro-cli ack`.
#include "main_form.h"
#include "std_settings.h"
#include "ui_support.h"

#include "talmiro/acknowledgement.h"
#include "talmiro/edi_writer.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QStatusBar>

namespace talmiro {

void TMainForm::CreateAcknowledgementAction() {
    // With the other commands that write the open file, before the separator above Exit.
    miMsgSaveAck = new QAction(QStringLiteral("Save &acknowledgement..."), this);
    miMessages->insertAction(N1, miMsgSaveAck);
    miMsgSaveAck->setObjectName(QStringLiteral("miMsgSaveAck"));
    miMsgSaveAck->setEnabled(false);
    // There is something to acknowledge exactly when there is something to close.
    connect(miMsgClose, &QAction::enabledChanged, miMsgSaveAck, &QAction::setEnabled);
    connect(miMsgSaveAck, &QAction::triggered, this, [this] { Guarded([&] { miMsgSaveAckClick(); }); });
}

void TMainForm::miMsgSaveAckClick() {
    if (!IsFileOpen() || InterchangeFile.empty()) return;
    const QString suggested = QString::fromLocal8Bit(InterchangeFile + ".contrl");
    const QString target =
        ChooseAckFile
            ? ChooseAckFile(suggested)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Save acknowledgement"), suggested,
                                           QStringLiteral("Acknowledgements (*.contrl);;All files (*)"));
    if (target.isEmpty()) return;
    SaveAcknowledgement(FileNameBytes(target));
}

void TMainForm::SaveAcknowledgement(const std::string& target) {
    if (SameFile(target, InterchangeFile))
        throw Exception("The acknowledgement cannot replace the interchange it answers: " + target);
    TBusyCursor busy;
    // A stream and a catalogue of its own: the view's stay as they are.
    TFileStream stream(InterchangeFile);
    TStandardsCatalogue catalogue = Settings->Catalogue;
    catalogue.OnChange = nullptr;
    bool rejected = false;
    const std::string text = Acknowledge(stream, &catalogue, miViewStrict->isChecked(), {}, rejected);
    TReplacingFile file(target);
    file.Write(text);
    file.Commit();
    sbStatusBar->showMessage(
        (rejected ? QStringLiteral("Rejection written to ") : QStringLiteral("Acknowledgement written to ")) +
        QString::fromLocal8Bit(target));
}

} // namespace talmiro
