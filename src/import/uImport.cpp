// The import window.
#include "uImport.h"

#include "FormLook.h"
#include "Guard.h"
#include "MainGrid.h"
#include "HistoryText.h"
#include "ImportMappings.h"
#include "Prompts.h"
#include "Scope.h"
#include "base/Clock.h"
#include "base/DaoError.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "import/CellValue.h"
#include "import/ColumnGuess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTableWidget>

using namespace inventoryimport;

namespace {

constexpr int HeadRows = 30;    // rows read ahead for the heading row and the samples
constexpr int ShownPerKind = 200; // preview lines of each kind

QLabel *buddy(QWidget *parent, const QString &name, const QString &text, int left, int top, QWidget *control)
{
    QLabel *l = FormLook::label(parent, name, text, left, top);
    l->setBuddy(control);
    return l;
}

QComboBox *combo(QWidget *parent, const QString &name, const QStringList &items, int left, int top, int width)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    c->setGeometry(left, top, width, 21);
    return c;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text, int left, int top, int width)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(left, top, width, 25);
    b->setAutoDefault(false);
    return b;
}

QTableWidget *table(QWidget *parent, const QString &name, const QStringList &titles, QRect where)
{
    auto *t = new QTableWidget(0, int(titles.size()), parent);
    t->setObjectName(name);
    t->setGeometry(where);
    t->setHorizontalHeaderLabels(titles);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setWordWrap(false);
    t->verticalHeader()->setVisible(false);
    t->verticalHeader()->setDefaultSectionSize(20);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QString cellText(const QVariant &cell)
{
    if (!cell.isValid())
        return QString();
    const cellvalue::Converted text = cellvalue::convert(cell, TFieldType::Text, 60);
    return text.value.toString().replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString outcomeText(Outcome o)
{
    switch (o) {
    case Outcome::Append: return QStringLiteral("добавя се");
    case Outcome::Change: return QStringLiteral("променя се");
    case Outcome::Same: return QStringLiteral("без промяна");
    case Outcome::Skip: return QStringLiteral("пропуска се");
    case Outcome::Refuse: return QStringLiteral("отказан");
    }
    return QString();
}

// After rows were added or removed: the grid's rows read again, the current row kept where it is
// still there, and the pick lists rebuilt.
void showChanges(TDaoTable *t)
{
    try {
        const QVariant id = t->Active() && !t->IsEmpty() ? t->FieldByName(QStringLiteral("id"))->Value() : QVariant();
        t->Requery();
        if (id.isValid() && !id.isNull())
            t->FindByKey(QStringLiteral("id"), id);
    } catch (const DaoError &) {
        // The grid shows the rows as they were; the next refresh reads them.
    }
    if (MainGrid *g = mainGrid())
        g->RefreshPickLists();
}

} // namespace

TfImport::TfImport(TDaoTable *inventory, QWidget *parent) : QDialog(parent), mInventory(inventory)
{
    setupUi();
    if (TDaoDatabase *db = mInventory->Database())
        db->readSnapshot([this](DbEngine &e) {
            if (const std::optional<SourceInfo> main = e.findSource(QStringLiteral("main")))
                mColumns = main->columns;
        });
}

TfImport::~TfImport() = default;

void TfImport::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fImport"), QStringLiteral("Вмъкване от файл"), 780, 596);
    eFile = FormLook::lineEdit(this, QStringLiteral("eFile"), 110, 10, 500);
    eFile->setReadOnly(true);
    buddy(this, QStringLiteral("lFile"), QStringLiteral("&Файл"), 8, 14, eFile);
    bBrowse = button(this, QStringLiteral("bBrowse"), QStringLiteral("&Избор ..."), 620, 8, 152);

    cbxSheet = combo(this, QStringLiteral("cbxSheet"), {}, 110, 38, 180);
    buddy(this, QStringLiteral("lSheet"), QStringLiteral("&Лист"), 8, 42, cbxSheet);
    cbxEncoding = combo(this, QStringLiteral("cbxEncoding"), {QStringLiteral("UTF-8"), QStringLiteral("Windows-1251")}, 390, 38, 120);
    buddy(this, QStringLiteral("lEncoding"), QStringLiteral("&Кодиране"), 306, 42, cbxEncoding);
    cbxDelimiter = combo(this, QStringLiteral("cbxDelimiter"),
                         {QStringLiteral("; точка и запетая"), QStringLiteral(", запетая"), QStringLiteral("табулация")}, 620, 38, 152);
    buddy(this, QStringLiteral("lDelimiter"), QStringLiteral("&Разделител"), 530, 42, cbxDelimiter);

    eHeadingRow = new QSpinBox(this);
    eHeadingRow->setObjectName(QStringLiteral("eHeadingRow"));
    eHeadingRow->setGeometry(110, 66, 70, 21);
    eHeadingRow->setRange(0, 1048576);
    eHeadingRow->setSpecialValueText(QStringLiteral("няма"));
    buddy(this, QStringLiteral("lHeadingRow"), QStringLiteral("Ред със &заглавия"), 8, 70, eHeadingRow);

    tblMapping = table(this, QStringLiteral("tblMapping"),
                       {QStringLiteral("Колона от файла"), QStringLiteral("Първа стойност"), QStringLiteral("Поле")},
                       QRect(8, 94, 764, 170));
    tblMapping->setSelectionMode(QAbstractItemView::NoSelection);
    tblMapping->setColumnWidth(0, 220);
    tblMapping->setColumnWidth(1, 260);

    cbxKey = combo(this, QStringLiteral("cbxKey"), {QStringLiteral("каталожен номер"), QStringLiteral("каталожен номер и доставчик")}, 120, 272, 240);
    buddy(this, QStringLiteral("lKey"), QStringLiteral("Съпоставяне &по"), 8, 276, cbxKey);
    cbxMode = combo(this, QStringLiteral("cbxMode"),
                    {QStringLiteral("промени намерените, добави останалите"), QStringLiteral("само промени намерените"),
                     QStringLiteral("само добави ненамерените")},
                    472, 272, 300);
    buddy(this, QStringLiteral("lMode"), QStringLiteral("&Действие"), 380, 276, cbxMode);
    cbxQuantity = combo(this, QStringLiteral("cbxQuantity"),
                        {QStringLiteral("замени количеството"), QStringLiteral("добави към наличното (доставка)")}, 120, 300, 240);
    buddy(this, QStringLiteral("lQuantity"), QStringLiteral("К&оличество"), 8, 304, cbxQuantity);
    chkSkipDeleted = new QCheckBox(QStringLiteral("&Без редовете, маркирани като изтрити"), this);
    chkSkipDeleted->setObjectName(QStringLiteral("chkSkipDeleted"));
    chkSkipDeleted->setGeometry(380, 300, 392, 21);

    bPreview = button(this, QStringLiteral("bPreview"), QStringLiteral("&Преглед"), 8, 328, 120);
    lCounts = FormLook::label(this, QStringLiteral("lCounts"), QString(), 140, 333);
    lvPreview = table(this, QStringLiteral("lvPreview"),
                      {QStringLiteral("Ред"), QStringLiteral("Действие"), QStringLiteral("Кат.№"), QStringLiteral("Промени или причина")},
                      QRect(8, 360, 764, 192));
    lvPreview->setColumnWidth(0, 60);
    lvPreview->setColumnWidth(1, 90);
    lvPreview->setColumnWidth(2, 130);

    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setGeometry(8, 564, 300, 17);
    pbProgress->setVisible(false);
    bImport = button(this, QStringLiteral("bImport"), QStringLiteral("&Вмъкни"), 400, 560, 100);
    bSaveRefused = button(this, QStringLiteral("bSaveRefused"), QStringLiteral("&Запиши отказаните ..."), 508, 560, 170);
    bClose = button(this, QStringLiteral("bClose"), QStringLiteral("За&твори"), 686, 560, 86);

    connect(bBrowse, &QPushButton::clicked, this, Guard::slot([this] { bBrowseClick(); }));
    connect(bPreview, &QPushButton::clicked, this, Guard::slot([this] { bPreviewClick(); }));
    connect(bImport, &QPushButton::clicked, this, Guard::slot([this] { bImportClick(); }));
    connect(bSaveRefused, &QPushButton::clicked, this, Guard::slot([this] { bSaveRefusedClick(); }));
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
    const auto reloadSheet = Guard::slot([this] {
        if (!mLoading)
            loadSheet();
    });
    connect(cbxSheet, &QComboBox::currentIndexChanged, this, reloadSheet);
    connect(cbxEncoding, &QComboBox::currentIndexChanged, this, reloadSheet);
    connect(cbxDelimiter, &QComboBox::currentIndexChanged, this, reloadSheet);
    connect(eHeadingRow, &QSpinBox::valueChanged, this, Guard::slot([this] {
                if (!mLoading)
                    fillMapping();
            }));
    for (QComboBox *c : {cbxKey, cbxMode, cbxQuantity})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { forgetPlan(); });
    connect(chkSkipDeleted, &QCheckBox::toggled, this, [this] { forgetPlan(); });
    forgetPlan();
    for (QWidget *w : std::initializer_list<QWidget *>{cbxSheet, cbxEncoding, cbxDelimiter, eHeadingRow, bPreview})
        w->setEnabled(false);
}

void TfImport::bBrowseClick()
{
    Prompts::FileRequest request;
    request.title = QStringLiteral("Вмъкване от файл");
    request.filter = sheetfile::openFilter();
    request.folder = mPath.isEmpty() ? QString() : QFileInfo(mPath).absolutePath();
    const QString path = prompts().openFile(request);
    if (!path.isEmpty())
        loadFile(path);
}

void TfImport::loadFile(const QString &path)
{
    const WaitCursor wait;
    const sheetfile::Kind kind = sheetfile::kindOf(path);
    delimitedtext::Format format;
    if (kind == sheetfile::Kind::Text) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде отворен: %2").arg(path, f.errorString()));
        format = delimitedtext::detect(f.read(64 * 1024));
    }
    std::unique_ptr<SheetReader> reader = sheetfile::open(path, kind, format);
    const QStringList sheets = reader->sheets();
    mPath = path;
    mKind = kind;
    eFile->setText(QDir::toNativeSeparators(path));
    {
        const QScopedValueRollback<bool> loading(mLoading, true);
        cbxSheet->clear();
        // A text file is one sheet without a name of its own.
        cbxSheet->addItems(kind == sheetfile::Kind::Text ? QStringList(QFileInfo(path).fileName()) : sheets);
        cbxEncoding->setCurrentIndex(format.encoding == delimitedtext::Encoding::Utf8 ? 0 : 1);
        cbxDelimiter->setCurrentIndex(format.delimiter == QLatin1Char(';') ? 0 : format.delimiter == QLatin1Char(',') ? 1 : 2);
    }
    cbxSheet->setEnabled(sheets.size() > 1);
    cbxEncoding->setEnabled(kind == sheetfile::Kind::Text);
    cbxDelimiter->setEnabled(kind == sheetfile::Kind::Text);
    eHeadingRow->setEnabled(true);
    bPreview->setEnabled(true);
    loadSheet();
}

delimitedtext::Format TfImport::textFormat() const
{
    delimitedtext::Format f;
    f.encoding = cbxEncoding->currentIndex() == 1 ? delimitedtext::Encoding::Cp1251 : delimitedtext::Encoding::Utf8;
    f.delimiter = cbxDelimiter->currentIndex() == 0 ? QLatin1Char(';') : cbxDelimiter->currentIndex() == 1 ? QLatin1Char(',') : QLatin1Char('\t');
    return f;
}

std::unique_ptr<SheetReader> TfImport::openReader() const
{
    std::unique_ptr<SheetReader> r = sheetfile::open(mPath, mKind, textFormat());
    r->select(qMax(0, cbxSheet->currentIndex()));
    return r;
}

// The sheet's first rows: the first that looks like headings is proposed as the heading row.
void TfImport::loadSheet()
{
    forgetPlan();
    mHead.clear();
    mHeadRows.clear();
    if (mPath.isEmpty())
        return;
    const WaitCursor wait;
    try {
        std::unique_ptr<SheetReader> r = openReader();
        QVariantList cells;
        while (mHead.size() < HeadRows && r->next(cells)) {
            mHead << cells;
            mHeadRows << r->row();
        }
    } catch (const DaoError &) {
        // What could be read is shown; the preview tells the error with its row.
    }
    int heading = 0;
    for (qsizetype i = 0; i < mHead.size() && i < 10 && heading == 0; ++i)
        if (columnguess::looksLikeHeadings(mHead.at(i)))
            heading = int(mHeadRows.at(i));
    {
        const QScopedValueRollback<bool> loading(mLoading, true);
        eHeadingRow->setValue(heading);
    }
    fillMapping();
}

QStringList TfImport::headings() const
{
    qsizetype columns = 0;
    QVariantList heading;
    for (qsizetype i = 0; i < mHead.size(); ++i) {
        columns = qMax(columns, mHead.at(i).size());
        if (mHeadRows.at(i) == eHeadingRow->value())
            heading = mHead.at(i);
    }
    QStringList out;
    for (qsizetype c = 0; c < columns; ++c) {
        const QString h = c < heading.size() ? cellText(heading.at(c)).trimmed() : QString();
        out << (h.isEmpty() ? QStringLiteral("Колона %1").arg(c + 1) : h);
    }
    return out;
}

void TfImport::fillMapping()
{
    forgetPlan();
    const QStringList titles = headings();
    QStringList fields = ImportMappings::recall(titles);
    if (fields.isEmpty())
        fields = eHeadingRow->value() > 0 ? columnguess::guess(titles) : QStringList();
    QVariantList sample; // the first row of data
    for (qsizetype i = 0; i < mHead.size() && sample.isEmpty(); ++i)
        if (mHeadRows.at(i) > eHeadingRow->value())
            sample = mHead.at(i);
    const QStringList choices = importableFields(mColumns);
    tblMapping->setRowCount(int(titles.size()));
    for (int c = 0; c < titles.size(); ++c) {
        tblMapping->setItem(c, 0, new QTableWidgetItem(titles.at(c)));
        tblMapping->setItem(c, 1, new QTableWidgetItem(c < sample.size() ? cellText(sample.at(c)) : QString()));
        auto *box = new QComboBox;
        box->setObjectName(QStringLiteral("cbxField%1").arg(c + 1));
        box->addItem(QStringLiteral("не се внася"), QString());
        for (const QString &f : choices)
            box->addItem(HistoryText::field(f), f);
        box->setCurrentIndex(qMax(0, box->findData(c < fields.size() ? fields.at(c) : QString())));
        connect(box, &QComboBox::currentIndexChanged, this, [this] { forgetPlan(); });
        tblMapping->setCellWidget(c, 2, box);
    }
}

QStringList TfImport::mapping() const
{
    QStringList out;
    for (int c = 0; c < tblMapping->rowCount(); ++c) {
        const auto *box = qobject_cast<QComboBox *>(tblMapping->cellWidget(c, 2));
        out << (box ? box->currentData().toString() : QString());
    }
    return out;
}

void TfImport::setField(int column, const QString &field)
{
    if (auto *box = qobject_cast<QComboBox *>(tblMapping->cellWidget(column, 2)))
        box->setCurrentIndex(qMax(0, box->findData(field)));
}

void TfImport::forgetPlan()
{
    mPlan.reset();
    lvPreview->setRowCount(0);
    lCounts->setText(QString());
    lCounts->adjustSize();
    bImport->setEnabled(false);
    bSaveRefused->setEnabled(false);
}

// Shown on the bar while the work goes on; the window is repainted, the user's input waits.
Progress TfImport::progress(const QString &what)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    return [this, what, clock](qint64 done) {
        if (clock->elapsed() >= 100) {
            lCounts->setText(what.arg(done));
            lCounts->adjustSize();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            clock->restart();
        }
        return true;
    };
}

void TfImport::bPreviewClick()
{
    forgetPlan();
    const QStringList fields = mapping();
    if (!fields.contains(QStringLiteral("unit_number")) && cbxMode->currentIndex() != 2) {
        prompts().message(QStringLiteral("Изберете колоната с каталожния номер: по него редовете се съпоставят със склада."));
        return;
    }
    for (int a = 0; a < fields.size(); ++a)
        for (int b = a + 1; b < fields.size(); ++b)
            if (!fields.at(a).isEmpty() && fields.at(a) == fields.at(b)) {
                prompts().message(QStringLiteral("Полето „%1“ е избрано за две колони: „%2“ и „%3“. Оставете го на едната.")
                                      .arg(HistoryText::field(fields.at(a)), headings().value(a), headings().value(b)));
                return;
            }
    if (cbxKey->currentIndex() == int(Key::NumberAndSupplier) && !fields.contains(QStringLiteral("deliver_name"))) {
        prompts().message(QStringLiteral("Изберете колоната с доставчика или съпоставяйте само по каталожен номер."));
        return;
    }
    if (std::all_of(fields.begin(), fields.end(), [](const QString &f) { return f.isEmpty(); })) {
        prompts().message(QStringLiteral("Не е избрана нито една колона за вмъкване."));
        return;
    }
    Options o;
    o.headingRow = eHeadingRow->value();
    o.headings = headings();
    o.fields = fields;
    o.key = Key(cbxKey->currentIndex());
    o.mode = Mode(cbxMode->currentIndex());
    o.quantity = Quantity(cbxQuantity->currentIndex());
    o.skipDeleted = chkSkipDeleted->isChecked();
    o.exportForm = eHeadingRow->value() > 0 && exportHeadings(o.headings, mColumns);
    const WaitCursor wait;
    setEnabled(false);
    pbProgress->setRange(0, 0);
    pbProgress->setVisible(true);
    const auto back = qScopeGuard([this] {
        pbProgress->setVisible(false);
        setEnabled(true);
    });
    auto plan = std::make_unique<ImportPlan>(mColumns, o);
    std::unique_ptr<SheetReader> reader = openReader();
    plan->read(*reader, progress(QStringLiteral("Прочетени редове: %1")));
    mInventory->Database()->readSnapshot([&](DbEngine &e) { plan->match(e, progress(QStringLiteral("Сравнени редове: %1"))); });
    mPlan = std::move(plan);
    showPreview();
}

void TfImport::showPreview()
{
    const ImportPlan &p = *mPlan;
    QString counts = QStringLiteral("Добавят се: %1   Променят се: %2   Без промяна: %3   Пропускат се: %4   Отказани: %5")
                         .arg(p.count(Outcome::Append))
                         .arg(p.count(Outcome::Change))
                         .arg(p.count(Outcome::Same))
                         .arg(p.count(Outcome::Skip))
                         .arg(p.count(Outcome::Refuse));
    if (p.warnings() > 0)
        counts += QStringLiteral("   Предупреждения: %1").arg(p.warnings());
    lCounts->setText(counts);
    lCounts->adjustSize();

    // The refused first, then the changed, the appended and the warned: the first of each kind.
    QList<const PlannedRow *> shown;
    for (const Outcome kind : {Outcome::Refuse, Outcome::Change, Outcome::Append}) {
        int n = 0;
        for (const PlannedRow &r : p.rows())
            if (r.outcome == kind && n < ShownPerKind) {
                shown << &r;
                ++n;
            }
    }
    const int number = int(std::find_if(p.columns().begin(), p.columns().end(),
                                        [](const ColumnDecl &c) { return c.name == QLatin1String("unit_number"); })
                           - p.columns().begin());
    lvPreview->setUpdatesEnabled(false);
    lvPreview->setRowCount(int(shown.size()));
    for (int i = 0; i < shown.size(); ++i) {
        const PlannedRow &r = *shown.at(i);
        QString details;
        const std::vector<QVariant> values = p.after(r);
        const QString key = r.outcome == Outcome::Refuse || number >= int(values.size()) ? r.number : values[size_t(number)].toString();
        if (r.outcome == Outcome::Refuse) {
            details = r.reasons.join(QStringLiteral("; "));
        } else {
            QStringList parts;
            for (int c : p.changedColumns(r, values)) {
                const QString name = p.columns()[size_t(c)].name;
                parts << QStringLiteral("%1: %2 → %3")
                             .arg(HistoryText::field(name), HistoryText::value(mInventory, name, r.before[size_t(c)]),
                                  HistoryText::value(mInventory, name, values[size_t(c)]));
            }
            if (r.outcome == Outcome::Append)
                for (size_t c = 0; c < values.size(); ++c)
                    if (values[c].isValid() && !values[c].isNull())
                        parts << QStringLiteral("%1: %2").arg(HistoryText::field(p.columns()[c].name),
                                                              HistoryText::value(mInventory, p.columns()[c].name, values[c]));
            parts << r.reasons;
            details = parts.join(QStringLiteral("; "));
        }
        const QList<QTableWidgetItem *> items{new QTableWidgetItem(QString::number(r.fileRow)), new QTableWidgetItem(outcomeText(r.outcome)),
                                              new QTableWidgetItem(key), new QTableWidgetItem(details)};
        for (int c = 0; c < items.size(); ++c) {
            if (r.outcome == Outcome::Refuse)
                items.at(c)->setForeground(Qt::red);
            else if (r.outcome == Outcome::Change && c == 3)
                items.at(c)->setForeground(Qt::darkBlue);
            items.at(c)->setToolTip(details);
            lvPreview->setItem(i, c, items.at(c));
        }
    }
    lvPreview->setUpdatesEnabled(true);
    bImport->setEnabled(p.count(Outcome::Append) + p.count(Outcome::Change) > 0);
    bSaveRefused->setEnabled(p.count(Outcome::Refuse) > 0);
}

void TfImport::bImportClick()
{
    if (!mPlan)
        return;
    const qint64 appended = mPlan->count(Outcome::Append), changed = mPlan->count(Outcome::Change);
    if (!prompts().confirm(QStringLiteral("Ще бъдат добавени %1 и променени %2 реда. Да продължа ли?").arg(appended).arg(changed),
                           QStringLiteral("Вмъкване от файл"), Prompts::Buttons::OkCancel, Prompts::Icon::Question))
        return;
    TDaoTable *t = mInventory;
    const WaitCursor wait;
    setEnabled(false);
    pbProgress->setRange(0, int(qMin<qint64>(appended + changed, INT_MAX)));
    pbProgress->setValue(0);
    pbProgress->setVisible(true);
    const auto back = qScopeGuard([this] {
        pbProgress->setVisible(false);
        setEnabled(true);
    });
    const Progress shown = progress(QStringLiteral("Записани редове: %1"));
    try {
        t->Database()->writeOperation(ChangeLog::Kind::Import, [&](DbEngine &e) {
            mPlan->write(e, t->Database()->changeLog(), Clock::now(), [&](qint64 done) {
                pbProgress->setValue(int(qMin<qint64>(done, pbProgress->maximum())));
                return shown(done);
            });
        });
    } catch (const DaoError &e) {
        forgetPlan();
        showChanges(t);
        prompts().message(QStringLiteral("Вмъкването не е извършено и складът е такъв, какъвто беше:\r%1").arg(e.message()));
        return;
    }
    ImportMappings::remember(headings(), mapping());
    const qint64 added = mPlan->count(Outcome::Append), updated = mPlan->count(Outcome::Change);
    forgetPlan();
    showChanges(t);
    prompts().message(QStringLiteral("Вмъкването завърши: добавени %1 и променени %2 реда.").arg(added).arg(updated));
}

void TfImport::bSaveRefusedClick()
{
    if (!mPlan)
        return;
    Prompts::FileRequest request;
    request.title = QStringLiteral("Запис на отказаните редове");
    request.filter = sheetfile::refusedFilter(mKind);
    const QFileInfo source(mPath);
    const QString suffix = mKind == sheetfile::Kind::Text ? source.suffix() : QStringLiteral("xlsx");
    request.folder = source.absolutePath();
    request.fileName = source.completeBaseName() + QStringLiteral("-отказани.") + suffix;
    request.defaultSuffix = suffix;
    request.mustExist = false;
    const QString path = prompts().saveFile(request);
    if (path.isEmpty())
        return;
    QHash<qint64, QString> reasons;
    for (const PlannedRow &r : mPlan->rows())
        if (r.outcome == Outcome::Refuse)
            reasons.insert(r.fileRow, r.reasons.join(QStringLiteral("; ")));
    const WaitCursor wait;
    std::unique_ptr<SheetReader> reader = openReader();
    const qint64 n = sheetfile::writeRefused(*reader, mPlan->options().headingRow, int(mPlan->options().headings.size()), reasons,
                                             path, mKind, textFormat());
    prompts().message(QStringLiteral("Записани са %1 отказани реда в „%2“.").arg(n).arg(QDir::toNativeSeparators(path)));
}

void UndoLastImport(TDaoTable *inventory)
{
    TDaoDatabase *db = inventory->Database();
    if (!db || !db->Connected())
        return;
    if (!prompts().confirm(QStringLiteral("Да бъдат ли върнати редовете, променени и добавени от последното вмъкване от файл?"),
                           QStringLiteral("Отмяна на последното вмъкване"), Prompts::Buttons::OkCancel, Prompts::Icon::Question))
        return;
    if (inventory->State() != TDaoTable::dsBrowse)
        inventory->Post();
    UndoResult r;
    try {
        const WaitCursor wait;
        r = undoLastImport(*db);
    } catch (const DaoError &e) {
        prompts().message(e.message());
        return;
    }
    showChanges(inventory);
    QString text = QStringLiteral("Върнати са %1 променени реда, премахнати са %2 добавени.").arg(r.restored).arg(r.removed);
    if (!r.leftAlone.isEmpty()) {
        QStringList shown = r.leftAlone.mid(0, 30);
        if (r.leftAlone.size() > 30)
            shown << QStringLiteral("…");
        text += QStringLiteral("\rПроменени след вмъкването и оставени както са (№): %1").arg(shown.join(QStringLiteral(", ")));
    }
    prompts().message(text);
}
