// Editing the displayed interchange: values, a segment's text, inserting and deleting segments and group
// repetitions, fixing the control counts, undo and redo. The file on disk stays as it is until it is saved:
// the edits are byte edits against it (History), and the window shows the file through them (Shown), so an
// edit costs memory for the bytes it changes, never for the file.
#include "main_form.h"

#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/segment_details.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>
#include <QTreeView>

namespace talmiro {

namespace {

bool IsControl(int c) {
    return c >= 0 && c < 32;
}

// The bytes from position on while they are control bytes (at most two: a line end).
std::string LineEndAt(TStream& stream, int64_t position) {
    std::string bytes;
    stream.Seek(position);
    for (int c = stream.ReadByte(); IsControl(c) && bytes.size() < 2; c = stream.ReadByte())
        bytes.push_back(static_cast<char>(c));
    return bytes;
}

// The first byte of a segment's own text: a segment's span may begin with the line end before it.
int64_t TextStart(TStream& stream, int64_t start, int64_t end) {
    stream.Seek(start);
    while (start < end && IsControl(stream.ReadByte()))
        ++start;
    return start;
}

} // namespace

TStream& TMainForm::Shown() const {
    if (EditedStream) return *EditedStream;
    return *FileStream;
}

std::vector<TMainForm::TValuePlace> TMainForm::ValuePlaces(const TEdiSegment& segment) {
    // The lines AddSegmentLines writes, in its order: an element's line, or a composite's line followed by
    // one line per member; later occurrences of a repeating element follow its first.
    std::vector<TValuePlace> places;
    auto add = [&](const TEdiElement& element, int textElement, int occurrence) {
        if (auto* composite = dynamic_cast<const TEdiComposit*>(&element)) {
            places.push_back({textElement, occurrence, -1, nullptr});
            for (size_t c = 0; c < composite->Elements.size(); ++c)
                places.push_back({textElement, occurrence, static_cast<int>(c),
                                  dynamic_cast<const TEDIField*>(composite->Elements[c].get())});
        } else {
            places.push_back({textElement, occurrence, 0, dynamic_cast<const TEDIField*>(&element)});
        }
    };
    for (size_t i = 0; i < segment.Elements.size(); ++i) {
        add(*segment.Elements[i], static_cast<int>(i), 0);
        int byElement = 0, byRepeat = 0;
        for (const TEdiSegment::TRepetition& r : segment.Repetitions) {
            if (r.Position != i) continue;
            // Occurrences sent as further data elements stand in the elements after the first.
            if (r.ByElementSeparator)
                add(*r.Element, static_cast<int>(i) + ++byElement, 0);
            else
                add(*r.Element, static_cast<int>(i), ++byRepeat);
        }
    }
    return places;
}

void TMainForm::CreateEditMenu() {
    miEdit = new QMenu(QStringLiteral("&Edit"), this);
    miEdit->setObjectName(QStringLiteral("miEdit"));
    menuBar()->insertMenu(View1->menuAction(), miEdit);
    auto add = [&](const char* name, const QString& caption, const QKeySequence& keys,
                   void (TMainForm::*handler)()) {
        QAction* action = miEdit->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        return action;
    };
    miEditUndo = add("miEditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
                     &TMainForm::miEditUndoClick);
    miEditRedo = add("miEditRedo", QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                     &TMainForm::miEditRedoClick);
    miEdit->addSeparator();
    miEditValue = add("miEditValue", QStringLiteral("Edit &value..."), QKeySequence(Qt::Key_F2),
                      &TMainForm::miEditValueClick);
    miEditSegment = add("miEditSegment", QStringLiteral("Edit segment &text..."),
                        QKeySequence(Qt::SHIFT | Qt::Key_F2), &TMainForm::miEditSegmentClick);
    miEditInsert = add("miEditInsert", QStringLiteral("&Insert segment after..."),
                       QKeySequence(Qt::Key_Insert), &TMainForm::miEditInsertClick);
    miEditDelete = add("miEditDelete", QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete),
                       &TMainForm::miEditDeleteClick);
    miEdit->addSeparator();
    miEditFixControl = add("miEditFixControl", QStringLiteral("&Fix control counts..."), QKeySequence(),
                           &TMainForm::miEditFixControlClick);
    // Keys in the details panel and the problems list keep their own meaning.
    for (QAction* action : {miEditValue, miEditSegment, miEditInsert, miEditDelete})
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    for (QAction* action : {miEditValue, miEditSegment, miEditInsert, miEditDelete})
        tvMsgStruct->addAction(action);
    mmFldData->addAction(miEditValue);
    lbModified = new QLabel;
    lbModified->setObjectName(QStringLiteral("lbModified"));
    sbStatusBar->addPermanentWidget(lbModified);
    UpdateEditing();
}

void TMainForm::UpdateEditing() {
    const bool open = FileStream != nullptr;
    miEditUndo->setEnabled(open && History.CanUndo());
    miEditRedo->setEnabled(open && History.CanRedo());
    for (QAction* action : {miEditValue, miEditSegment, miEditInsert, miEditDelete, miEditFixControl,
                            miMsgSave, miMsgSaveAs, miMsgExport, miStdGuideline})
        action->setEnabled(open);
    lbModified->setText(History.Modified() ? QStringLiteral("Modified") : QString());
    setWindowTitle(History.Modified() ? QStringLiteral("EDIFACT message viewer [modified]")
                                      : QStringLiteral("EDIFACT message viewer"));
}

bool TMainForm::IsModified() const {
    return History.Modified();
}

int32_t TMainForm::CurrentSegmentNode(bool groupsToo) const {
    const int32_t node = Model->NodeOf(tvMsgStruct->currentIndex());
    if (node == TOnDemandTree::None || !FileStream) throw Exception("Select a segment first.");
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    if (tree.Definition(node) || (groupsToo && tree.Kind(node) == TNodeKind::Group)) return node;
    throw Exception(groupsToo ? "Select a segment or a segment group first." : "Select a segment first.");
}

void TMainForm::EditBytes(std::vector<TByteEdit> replacements, int32_t select) {
    History.Replace(*FileStream, std::move(replacements));
    RereadFile(select);
}

void TMainForm::ReplaceSegment(int32_t node, const std::string& text) {
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    int64_t start = 0, end = 0;
    tree.SegmentSpan(node, start, end);
    // The line end before the segment, where its span holds it, stays; the segment's own line breaks go.
    start = TextStart(Shown(), start, end);
    EditBytes({{start, end + 1, text}}, node);
}

QString TMainForm::ValueText(const std::string& bytes) const {
    return DisplayText(bytes, utf8_);
}

std::string TMainForm::ValueBytes(const QString& text) const {
    if (utf8_) return text.toStdString();
    for (QChar c : text)
        if (c.unicode() > 255)
            throw Exception("The character \"" + QString(c).toStdString() +
                            "\" cannot be written in this interchange's character set.");
    return text.toLatin1().toStdString();
}

void TMainForm::EditValue(int line) {
    const int32_t node = CurrentSegmentNode(false);
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    std::unique_ptr<TEdiSegment> segment = tree.ReadSegment(node, Shown());
    const std::vector<TValuePlace> places = ValuePlaces(*segment);
    if (line < 0 || static_cast<size_t>(line) >= places.size() ||
        places[static_cast<size_t>(line)].Component < 0)
        throw Exception("Select the line of a simple element or a component in the details first.");
    const TValuePlace& place = places[static_cast<size_t>(line)];

    const TDelimiters& delimiters = tree.ReadingDelimiters();
    TSegmentValues values = SegmentValuesOf(SegmentRawText(*segment, Shown()), delimiters);
    if (values.Elements.size() <= static_cast<size_t>(place.Element))
        values.Elements.resize(static_cast<size_t>(place.Element) + 1, {{}});
    auto& occurrences = values.Elements[static_cast<size_t>(place.Element)];
    if (occurrences.size() <= static_cast<size_t>(place.Occurrence))
        occurrences.resize(static_cast<size_t>(place.Occurrence) + 1);
    auto& components = occurrences[static_cast<size_t>(place.Occurrence)];
    if (components.size() <= static_cast<size_t>(place.Component))
        components.resize(static_cast<size_t>(place.Component) + 1);
    std::string& value = components[static_cast<size_t>(place.Component)];

    QString label = QString::fromStdString(segment->ID);
    if (place.Field)
        label += QLatin1Char(' ') + QString::fromStdString(place.Field->ID) + QStringLiteral(" ") +
                 DisplayText(place.Field->Description, false);
    QString text = ValueText(value);
    if (!AskText || !AskText(label, text)) return;
    value = ValueBytes(text);
    ReplaceSegment(node, TEdiWriter(delimiters).SegmentText(values));
}

void TMainForm::EditSegmentText() {
    const int32_t node = CurrentSegmentNode(false);
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    std::unique_ptr<TEdiSegment> segment = tree.ReadSegment(node, Shown());
    QString text = ValueText(SegmentRawText(*segment, Shown()));
    if (!AskText || !AskText(QStringLiteral("Segment text"), text)) return;
    ReplaceSegment(node, SegmentBytes(text, tree.ReadingDelimiters()));
}

std::string TMainForm::SegmentBytes(const QString& text, const TDelimiters& d) const {
    std::string bytes = ValueBytes(text);
    std::erase_if(bytes, [](char c) { return IsControl(static_cast<unsigned char>(c)); });
    if (bytes.empty()) throw Exception("A segment's text cannot be empty; use Delete to remove the segment.");
    // The terminator may be left out; a released one at the end is a value's character.
    size_t releases = 0;
    for (size_t i = bytes.size() - 1; i > 0 && bytes[i - 1] == d.ReleaseChar; --i)
        ++releases;
    if (bytes.back() != d.SegmentTerminator || releases % 2 == 1) bytes += d.SegmentTerminator;
    return bytes;
}

void TMainForm::InsertSegment() {
    const int32_t node = CurrentSegmentNode(false);
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    TStructurePlace place;
    place.Tag = tree.Definition(node)->ID;
    for (int32_t p = tree.Parent(node); p != TOnDemandTree::None && tree.Kind(p) == TNodeKind::Group;
         p = tree.Parent(p))
        place.Groups.insert(place.Groups.begin(), tree.GroupNumber(p));
    const TMessageDefRec* structure = tree.StructureOf(node);
    if (!structure || tree.TopNode(tree.TopRowOf(node)) == node)
        throw Exception("Segments are inserted within a message whose definition is installed.");
    const std::vector<std::string> tags = TagsAfter(structure, place);
    if (tags.empty()) throw Exception("The message's definition allows no segment after " + place.Tag + ".");
    QStringList items;
    for (const std::string& tag : tags)
        items << QString::fromStdString(tag);
    const QString tag =
        ChooseItem
            ? ChooseItem(QStringLiteral("Segment to insert after %1").arg(QString::fromStdString(place.Tag)),
                         items)
            : QString();
    if (tag.isEmpty()) return;
    // A segment is its tag and at least one data element: its text is asked for at once.
    const TDelimiters& d = tree.ReadingDelimiters();
    QString typed = tag + QLatin1Char(d.ElementSeparator);
    if (!AskText || !AskText(QStringLiteral("Text of the new segment"), typed)) return;
    const std::string segment = SegmentBytes(typed, d);

    int64_t start = 0, end = 0;
    tree.SegmentSpan(node, start, end);
    // On the next line when the segments are on lines of their own.
    History.Replace(*FileStream, {{end + 1, end + 1, LineEndAt(Shown(), end + 1) + segment}});
    RereadFile(node);
    // The new segment begins where the current one ended; it may open a group, so look a little further.
    const TOnDemandTree& now = EdiReader->OnDemandTree();
    for (int32_t n = node + 1; n < node + 8 && now.Contains(n); ++n) {
        int64_t s = 0, e = 0;
        if (now.SegmentSpan(n, s, e) && s == end + 1) {
            SelectTreeNode(n);
            break;
        }
    }
}

void TMainForm::DeleteNode() {
    const int32_t node = CurrentSegmentNode(true);
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    if (tree.TopNode(tree.TopRowOf(node)) == node && tree.Kind(node) != TNodeKind::Segment)
        throw Exception("Select a segment or a segment group first.");
    int64_t start = 0, end = 0, s = 0, e = 0;
    bool any = false;
    for (int32_t n = node; n < tree.SubtreeEnd(node); ++n) {
        if (!tree.SegmentSpan(n, s, e)) continue;
        if (!any) start = s;
        end = e;
        any = true;
    }
    if (!any) return;
    // The segments go with one of the line ends around them, so no empty line stays.
    TStream& shown = Shown();
    if (TextStart(shown, start, end) == start) end += static_cast<int64_t>(LineEndAt(shown, end + 1).size());
    EditBytes({{start, end + 1, std::string()}}, node);
}

void TMainForm::FixControlCounts() {
    if (!FileStream) throw Exception("Open an interchange first.");
    std::vector<TControlFix> fixes;
    {
        TBusyCursor busy;
        fixes = PlanControlFixes(Shown());
    }
    if (fixes.empty()) {
        if (UiHooks().ShowInfo)
            UiHooks().ShowInfo(
                QStringLiteral("The control counts and references are right; nothing to fix."));
        return;
    }
    QStringList lines;
    for (const TControlFix& fix : fixes)
        lines << QStringLiteral("Segment %1: %2").arg(fix.Segment).arg(DisplayText(fix.Description, utf8_));
    if (!UiHooks().Confirm ||
        !UiHooks().Confirm(QStringLiteral("These changes will be made:\n\n") + lines.join(QLatin1Char('\n')) +
                           QStringLiteral("\n\nMake them?")))
        return;
    EditBytes(EditsOf(fixes), Model->NodeOf(tvMsgStruct->currentIndex()));
}

void TMainForm::miEditUndoClick() {
    if (!History.CanUndo()) return;
    History.Undo();
    RereadFile(Model->NodeOf(tvMsgStruct->currentIndex()));
}

void TMainForm::miEditRedoClick() {
    if (!History.CanRedo()) return;
    History.Redo();
    RereadFile(Model->NodeOf(tvMsgStruct->currentIndex()));
}

void TMainForm::miEditValueClick() {
    EditValue(mmFldData->textCursor().blockNumber());
}
void TMainForm::miEditSegmentClick() {
    EditSegmentText();
}
void TMainForm::miEditInsertClick() {
    InsertSegment();
}
void TMainForm::miEditDeleteClick() {
    DeleteNode();
}
void TMainForm::miEditFixControlClick() {
    FixControlCounts();
}

bool TMainForm::ExecTextDialog(const QString& label, QString& text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(this, QStringLiteral("Talmiro"), label, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
}

QString TMainForm::ExecItemDialog(const QString& label, const QStringList& items) {
    bool ok = false;
    const QString answer =
        QInputDialog::getItem(this, QStringLiteral("Talmiro"), label, items, 0, false, &ok);
    return ok ? answer : QString();
}

} // namespace talmiro
