#include "documents.h"

#include "trace.h"

#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XHeaderFooterContent.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/TableBorder.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/PageNumberType.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <QtEndian>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace css;
using ::rtl::OUString;

namespace vidora::office {
namespace {

std::mutex g_pendingLock;
std::string g_pending; // guarded by g_pendingLock

OUString U(const QString &text)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()),
                    static_cast<sal_Int32>(text.size()));
}

OUString U(const char *text)
{
    return OUString::createFromAscii(text);
}

// A cursor as the text range the insert calls take.
template <typename T>
uno::Reference<text::XTextContent> C(const uno::Reference<T> &content)
{
    return uno::Reference<text::XTextContent>(content.get());
}

template <typename T>
uno::Reference<text::XTextRange> R(const uno::Reference<T> &cursor)
{
    return uno::Reference<text::XTextRange>(cursor.get());
}

constexpr sal_Int32 Rgb(int r, int g, int b)
{
    return (r << 16) | (g << 8) | b;
}

using Props = uno::Reference<beans::XPropertySet>;

template <typename T>
void Set(const Props &props, const char *name, const T &value)
{
    props->setPropertyValue(U(name), uno::Any(value));
}

// Several properties in one remote call where the object takes them together
// (names sorted, as setPropertyValues wants them), else one by one.
void SetAll(const uno::Reference<uno::XInterface> &object,
            std::initializer_list<std::pair<const char *, uno::Any>> values)
{
    const uno::Reference<beans::XMultiPropertySet> multi(object, uno::UNO_QUERY);
    if (!multi.is()) {
        const Props props(object, uno::UNO_QUERY_THROW);
        for (const auto &[name, value] : values)
            props->setPropertyValue(U(name), value);
        return;
    }
    uno::Sequence<OUString> names(static_cast<sal_Int32>(values.size()));
    uno::Sequence<uno::Any> anys(static_cast<sal_Int32>(values.size()));
    sal_Int32 i = 0;
    for (const auto &[name, value] : values) {
        names.getArray()[i] = U(name);
        anys.getArray()[i++] = value;
    }
    multi->setPropertyValues(names, anys);
}

template <typename Interface>
Props PropsOf(const uno::Reference<Interface> &object)
{
    return Props(object, uno::UNO_QUERY_THROW);
}

// One remote call for the five character properties (names sorted, as
// setPropertyValues wants them) where the object takes them together.
void SetFont(const Props &p, float height, float weight, awt::FontSlant posture, sal_Int32 color)
{
    const uno::Reference<beans::XMultiPropertySet> multi(p, uno::UNO_QUERY);
    if (!multi.is()) { // text table cell ranges
        Set(p, "CharFontName", U("Arial"));
        Set(p, "CharHeight", height);
        return; // their weight and posture are the defaults already
    }
    const OUString names[] = {U("CharColor"), U("CharFontName"), U("CharHeight"), U("CharPosture"),
                              U("CharWeight")};
    const uno::Any values[] = {uno::Any(color), uno::Any(U("Arial")), uno::Any(height),
                               uno::Any(posture), uno::Any(weight)};
    multi->setPropertyValues(uno::Sequence<OUString>(names, 5), uno::Sequence<uno::Any>(values, 5));
}

// Lines of text at the cursor, parted by paragraph breaks.
void InsertLines(const uno::Reference<text::XText> &text,
                 const uno::Reference<text::XTextCursor> &cursor, const QStringList &lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text->insertControlCharacter(R(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
        text->insertString(R(cursor), U(lines[i]), false);
    }
}

uno::Reference<text::XTextContent> CreateContent(const uno::Reference<lang::XComponent> &doc,
                                                 const char *service)
{
    uno::Reference<lang::XMultiServiceFactory> factory(doc, uno::UNO_QUERY_THROW);
    return uno::Reference<text::XTextContent>(factory->createInstance(U(service)),
                                              uno::UNO_QUERY_THROW);
}

void InsertPageFields(const uno::Reference<lang::XComponent> &doc,
                      const uno::Reference<text::XText> &text,
                      const uno::Reference<text::XTextCursor> &cursor, const QString &before,
                      const QString &between, bool writer)
{
    text->insertString(R(cursor), U(before), false);
    uno::Reference<text::XTextContent> page =
        CreateContent(doc, "com.sun.star.text.TextField.PageNumber");
    if (writer) {
        Set(PropsOf(page), "NumberingType", sal_Int16(4)); // ARABIC
        Set(PropsOf(page), "SubType", text::PageNumberType_CURRENT);
    }
    text->insertTextContent(R(cursor), page, false);
    text->insertString(R(cursor), U(between), false);
    text->insertTextContent(R(cursor), CreateContent(doc, "com.sun.star.text.TextField.PageCount"),
                            false);
}

uno::Sequence<beans::PropertyValue>
Args(std::initializer_list<std::pair<const char *, uno::Any>> list)
{
    uno::Sequence<beans::PropertyValue> args(static_cast<sal_Int32>(list.size()));
    auto *out = args.getArray();
    for (const auto &[name, value] : list) {
        out->Name = U(name);
        out->Value = value;
        ++out;
    }
    return args;
}

// A new, empty document of the service ("com.sun.star.sheet.SpreadsheetDocument",
// "com.sun.star.text.TextDocument"): a model without a window, so that nothing
// is laid out for the screen while it is built.
uno::Reference<lang::XComponent> NewDocument(const uno::Reference<uno::XComponentContext> &context,
                                             const char *service)
{
    const uno::Reference<frame::XLoadable> loadable(
        context->getServiceManager()->createInstanceWithContext(U(service), context),
        uno::UNO_QUERY);
    if (!loadable.is())
        throw std::runtime_error("LibreOffice did not make a new document");
    loadable->initNew();
    return uno::Reference<lang::XComponent>(loadable, uno::UNO_QUERY_THROW);
}

Props PageStyle(const uno::Reference<lang::XComponent> &doc, const OUString &name)
{
    uno::Reference<style::XStyleFamiliesSupplier> supplier(doc, uno::UNO_QUERY_THROW);
    uno::Reference<container::XNameAccess> styles(
        supplier->getStyleFamilies()->getByName(U("PageStyles")), uno::UNO_QUERY_THROW);
    return Props(styles->getByName(name), uno::UNO_QUERY_THROW);
}

table::BorderLine Line(sal_Int16 width)
{
    table::BorderLine line;
    line.Color = 0;
    line.InnerLineWidth = 0;
    line.OuterLineWidth = width;
    line.LineDistance = 0;
    return line;
}

// Rows of texts as the cell ranges' data arrays take them: strings, never
// formulas, so quotes and "=" in a title stay text.
uno::Sequence<uno::Sequence<uno::Any>> DataArray(const std::vector<QStringList> &rows)
{
    uno::Sequence<uno::Sequence<uno::Any>> data(static_cast<sal_Int32>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        uno::Sequence<uno::Any> row(static_cast<sal_Int32>(rows[r].size()));
        for (qsizetype c = 0; c < rows[r].size(); ++c)
            row.getArray()[c] = uno::Any(U(rows[r][c]));
        data.getArray()[static_cast<sal_Int32>(r)] = row;
    }
    return data;
}

// ---- spreadsheets -------------------------------------------------------

class Sheet
{
public:
    Sheet(const uno::Reference<lang::XComponent> &doc, const QString &name) : m_doc(doc)
    {
        uno::Reference<sheet::XSpreadsheetDocument> sdoc(doc, uno::UNO_QUERY_THROW);
        uno::Reference<sheet::XSpreadsheets> sheets = sdoc->getSheets();
        const uno::Sequence<OUString> before = sheets->getElementNames();
        const OUString wanted = U(name);
        if (!sheets->hasByName(wanted))
            sheets->insertNewByName(wanted, static_cast<sal_Int16>(before.getLength()));
        for (const OUString &old : before)
            if (old != wanted)
                sheets->removeByName(old);
        m_sheet.set(sheets->getByName(wanted), uno::UNO_QUERY_THROW);
    }

    void SetText(sal_Int32 column, sal_Int32 row, const QString &value)
    {
        // A string, never a formula: quotes and "=" in a title stay text.
        uno::Reference<text::XText> cell(m_sheet->getCellByPosition(column, row),
                                         uno::UNO_QUERY_THROW);
        cell->setString(U(value));
    }

    Props Range(const QString &name)
    {
        return Props(m_sheet->getCellRangeByName(U(name)), uno::UNO_QUERY_THROW);
    }

    // Texts of a block of cells in one call.
    void SetTexts(const QString &range, const std::vector<QStringList> &rows)
    {
        uno::Reference<sheet::XCellRangeData>(m_sheet->getCellRangeByName(U(range)),
                                              uno::UNO_QUERY_THROW)
            ->setDataArray(DataArray(rows));
    }

    // Several blocks of this sheet as one object, whose properties are set
    // on all of them at once; `blocks` are (first column, first row, last
    // column, last row) from 0.
    Props Ranges(const std::vector<table::CellRangeAddress> &blocks)
    {
        uno::Reference<lang::XMultiServiceFactory> factory(m_doc, uno::UNO_QUERY_THROW);
        uno::Reference<sheet::XSheetCellRangeContainer> ranges(
            factory->createInstance(U("com.sun.star.sheet.SheetCellRanges")), uno::UNO_QUERY_THROW);
        uno::Sequence<table::CellRangeAddress> addresses(static_cast<sal_Int32>(blocks.size()));
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            addresses.getArray()[static_cast<sal_Int32>(i)] = blocks[i];
            addresses.getArray()[static_cast<sal_Int32>(i)].Sheet = SheetIndex();
        }
        ranges->addRangeAddresses(addresses, false);
        return Props(ranges, uno::UNO_QUERY_THROW);
    }

    Props Columns(const QString &name)
    {
        uno::Reference<table::XColumnRowRange> range(m_sheet->getCellRangeByName(U(name)),
                                                     uno::UNO_QUERY_THROW);
        return Props(range->getColumns(), uno::UNO_QUERY_THROW);
    }

    Props Style()
    {
        OUString name;
        PropsOf(m_sheet)->getPropertyValue(U("PageStyle")) >>= name;
        return PageStyle(m_doc, name);
    }

    // The header or footer content of the page style, changed by `fill`.
    template <typename Fill>
    void EditHeaderFooter(const Props &style, const char *property, Fill fill)
    {
        uno::Reference<sheet::XHeaderFooterContent> content(style->getPropertyValue(U(property)),
                                                            uno::UNO_QUERY_THROW);
        fill(content);
        style->setPropertyValue(U(property), uno::Any(content));
    }

    const uno::Reference<lang::XComponent> &Doc() const { return m_doc; }

private:
    sal_Int16 SheetIndex()
    {
        if (m_index < 0)
            m_index = uno::Reference<sheet::XCellRangeAddressable>(m_sheet, uno::UNO_QUERY_THROW)
                          ->getRangeAddress()
                          .Sheet;
        return m_index;
    }

    uno::Reference<lang::XComponent> m_doc;
    uno::Reference<sheet::XSpreadsheet> m_sheet;
    sal_Int16 m_index = -1;
};

uno::Reference<text::XTextCursor> ClearedCursor(const uno::Reference<text::XText> &text)
{
    text->setString(OUString());
    return text->createTextCursor();
}

const QStringList kHeadings = {"Number",   "Start",    "End",   "Duration",
                               "Datecode", "Timecode", "Title", "Subtitle"};

QStringList SceneTexts(const JobScene &s)
{
    return {s.number, s.start, s.end, s.duration, s.datecode, s.timecode, s.title, s.subtitle};
}

// The headings in row 7 (B7:I7), one row per scene from row 8, even scenes
// shaded; returns the last scene row (7 without scenes). Each remote call
// is a round trip to the office, slow on a busy machine: the texts go in as
// one block and the shaded rows take their colour together.
int FillSceneRows(Sheet &sheet, const ExportJob &job, const QStringList &headings, sal_Int32 shade)
{
    std::vector<QStringList> rows{headings};
    for (const JobScene &scene : job.scenes)
        rows.push_back(SceneTexts(scene));
    const int count = static_cast<int>(job.scenes.size());
    const int last = count + 7;
    sheet.SetTexts(QStringLiteral("B7:I%1").arg(last), rows);
    std::vector<table::CellRangeAddress> shaded;
    for (int counter = 2; counter <= count; counter += 2) {
        table::CellRangeAddress row;
        row.StartColumn = 1; // B
        row.EndColumn = 8;   // I
        row.StartRow = row.EndRow = counter + 7 - 1;
        shaded.push_back(row);
    }
    if (!shaded.empty())
        Set(sheet.Ranges(shaded), "CellBackColor", shade);
    return last;
}

void SetBorders(Sheet &sheet, int last, const char *rightColumn)
{
    const table::BorderLine line = Line(25);
    Set(sheet.Range(QStringLiteral("B7:I%1").arg(last)), "LeftBorder", line);
    Set(sheet.Range(QStringLiteral("%1:I%2").arg(QLatin1String(rightColumn)).arg(last)),
        "RightBorder", line);
    Set(sheet.Range(QStringLiteral("B7:I7")), "TopBorder", line);
    Set(sheet.Range(QStringLiteral("B7:I7")), "BottomBorder", line);
    Set(sheet.Range(QStringLiteral("B%1:I%1").arg(last)), "BottomBorder", line);
}

void BuildCalc(const uno::Reference<lang::XComponent> &doc, const ExportJob &job)
{
    Sheet sheet(doc, job.sheetName);
    const Props style = sheet.Style();
    Set(style, "IsLandscape", true);
    Set(style, "Height", sal_Int32(21000));
    Set(style, "Width", sal_Int32(29700));
    Set(style, "FooterIsOn", true);
    Set(style, "FooterIsShared", true);
    Set(style, "HeaderIsOn", true);
    Set(style, "HeaderIsShared", true);
    sheet.EditHeaderFooter(style, "RightPageHeaderContent", [&](const auto &content) {
        const uno::Reference<text::XText> center = content->getCenterText();
        const uno::Reference<text::XTextCursor> cursor = ClearedCursor(center);
        SetFont(PropsOf(cursor), 12, 150, awt::FontSlant_NONE, Rgb(0, 0, 255));
        center->insertString(R(cursor), U(job.video.toLower()), false);
    });
    sheet.EditHeaderFooter(style, "RightPageFooterContent", [&](const auto &content) {
        const uno::Reference<text::XText> left = content->getLeftText();
        const uno::Reference<text::XTextCursor> cursor = ClearedCursor(left);
        SetFont(PropsOf(cursor), 8, 100, awt::FontSlant_ITALIC, Rgb(0, 0, 0));
        InsertLines(left, cursor,
                    {QStringLiteral("List of scenes of the file  ") + job.video,
                     QStringLiteral("Realized with ") + job.appVersionText, job.exportDate});
        content->getCenterText()->setString(OUString());
        const uno::Reference<text::XText> right = content->getRightText();
        InsertPageFields(doc, right, ClearedCursor(right), QStringLiteral("\t\tPage "),
                         QStringLiteral(" on"), false);
    });

    const Props headings = sheet.Range(QStringLiteral("B7:I7"));
    Set(headings, "CharHeight", 12.0f);
    Set(headings, "CharColor", Rgb(0, 0, 255));
    Set(headings, "CellBackColor", Rgb(250, 250, 128));
    Set(headings, "CharWeight", 150.0f);
    const int last = FillSceneRows(sheet, job, kHeadings, Rgb(230, 230, 230));

    Set(sheet.Columns(QStringLiteral("B7:I7")), "OptimalWidth", true);
    SetBorders(sheet, last, "B7");

    sheet.SetText(
        1, 1, QStringLiteral("NB:The header and footer of the page contain the name of the file."));
    Set(sheet.Range(QStringLiteral("B2")), "CharHeight", 10.0f);
    sheet.SetText(1, 3, QStringLiteral("(this text will be hidden when printed.)"));
    Set(sheet.Range(QStringLiteral("B4")), "CharHeight", 8.0f);
    util::CellProtection protection;
    protection.IsLocked = true;
    protection.IsFormulaHidden = false;
    protection.IsHidden = false;
    protection.IsPrintHidden = true;
    Set(sheet.Range(QStringLiteral("B2:B4")), "CellProtection", protection);
}

void BuildExcel(const uno::Reference<lang::XComponent> &doc, const ExportJob &job)
{
    Sheet sheet(doc, job.sheetName);
    const Props style = sheet.Style();
    Set(style, "HeaderIsOn", true);
    Set(style, "FooterIsOn", true);
    sheet.EditHeaderFooter(style, "RightPageHeaderContent", [&](const auto &content) {
        content->getLeftText()->setString(OUString());
        content->getCenterText()->setString(U(job.video.toLower()));
        content->getRightText()->setString(OUString());
    });
    sheet.EditHeaderFooter(style, "RightPageFooterContent", [&](const auto &content) {
        const uno::Reference<text::XText> left = content->getLeftText();
        InsertLines(left, ClearedCursor(left),
                    {QStringLiteral("List of scenes of the video file:"), job.video.toLower(),
                     QStringLiteral("exported by Vidora version %1 %2")
                         .arg(job.versionText, job.language)});
        content->getCenterText()->setString(OUString());
        const uno::Reference<text::XText> right = content->getRightText();
        InsertPageFields(doc, right, ClearedCursor(right), QStringLiteral("Page "),
                         QStringLiteral(" sur "), false);
    });

    sheet.SetText(0, 3, job.video.toLower());
    const Props title = sheet.Range(QStringLiteral("A4"));
    Set(title, "CharColor", Rgb(0, 0, 255));
    Set(title, "CharHeight", 12.0f);
    Set(title, "CharWeight", 150.0f);

    QStringList headings = kHeadings;
    headings[6] = QStringLiteral("Caption");
    const Props heads = sheet.Range(QStringLiteral("B7:I7"));
    Set(heads, "CharColor", Rgb(0, 0, 255));
    Set(heads, "CellBackColor", Rgb(250, 250, 128));
    Set(heads, "CharHeight", 12.0f);
    Set(heads, "CharWeight", 100.0f);
    const int last = FillSceneRows(sheet, job, headings, Rgb(208, 208, 208));
    const int counter = last - 7;

    sheet.SetText(0, counter + 9 - 1, QStringLiteral("Terminated at ") + job.terminatedAt);
    if (counter > 0)
        Set(sheet.Range(QStringLiteral("I8:I%1").arg(last)), "IsTextWrapped", true);
    Set(sheet.Columns(QStringLiteral("B1:I1")), "OptimalWidth", true);
    SetBorders(sheet, last, "I7");
    Set(style, "IsLandscape", true);
    Set(style, "Width", sal_Int32(29700));
    Set(style, "Height", sal_Int32(21000));
}

// ---- text documents -----------------------------------------------------

// Runs work(0) to work(count - 1) on a few threads. Each remote call waits
// for a round trip to the office, which a busy machine makes slow; calls
// made at the same time overlap their waits, though the office runs them
// one at a time. Each call of `work` must touch only its own part of the
// document. The first exception is rethrown once every thread has ended.
template <typename Work>
void ForEachConcurrently(int count, const Work &work)
{
    constexpr int kThreads = 4;
    std::atomic<int> next{0};
    std::mutex failureLock;
    std::exception_ptr failure; // guarded by failureLock
    const auto run = [&] {
        for (int k = next++; k < count; k = next++) {
            try {
                work(k);
            } catch (...) {
                std::lock_guard lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min(kThreads, count); ++t)
        threads.emplace_back(run);
    run();
    for (std::thread &thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

// A thumbnail read by the office; no graphic for a scene without one.
struct Picture
{
    uno::Reference<graphic::XGraphic> graphic;
    qint64 pixelWidth = 0;
    qint64 pixelHeight = 0;
};

// The thumbnails (PNG files; an empty path for none), handed to the
// office's graphic provider as input streams and read there in one call.
// A file that cannot be read gives no picture; one that is not a PNG is an
// error.
std::vector<Picture> ReadPictures(const uno::Reference<uno::XComponentContext> &context,
                                  const QStringList &pngPaths)
{
    std::vector<Picture> pictures(static_cast<std::size_t>(pngPaths.size()));
    std::vector<QByteArray> files(pictures.size());
    std::vector<std::size_t> wanted;
    for (qsizetype i = 0; i < pngPaths.size(); ++i) {
        QFile file(pngPaths[i]);
        if (pngPaths[i].isEmpty() || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        // Width and height: the first fields of a PNG's IHDR chunk.
        if (bytes.size() < 24 || !bytes.startsWith("\x89PNG\r\n\x1a\n"))
            throw std::runtime_error("a thumbnail is not a PNG picture");
        const auto field = [&](int at) {
            return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData()) + at);
        };
        Picture &picture = pictures[static_cast<std::size_t>(i)];
        picture.pixelWidth = field(16);
        picture.pixelHeight = field(20);
        if (picture.pixelWidth < 1 || picture.pixelHeight < 1)
            continue;
        files[static_cast<std::size_t>(i)] = bytes;
        wanted.push_back(static_cast<std::size_t>(i));
    }
    if (wanted.empty())
        return pictures;
    const uno::Reference<lang::XMultiComponentFactory> services = context->getServiceManager();
    uno::Sequence<uno::Sequence<beans::PropertyValue>> requests(
        static_cast<sal_Int32>(wanted.size()));
    uno::Sequence<beans::PropertyValue> *request = requests.getArray();
    ForEachConcurrently(static_cast<int>(wanted.size()), [&](int k) {
        const QByteArray &bytes = files[wanted[static_cast<std::size_t>(k)]];
        const uno::Any data(
            uno::Sequence<sal_Int8>(reinterpret_cast<const sal_Int8 *>(bytes.constData()),
                                    static_cast<sal_Int32>(bytes.size())));
        // The stream stays an office object: the provider takes its input
        // stream interface there, without a call back to us.
        const uno::Reference<uno::XInterface> stream =
            services->createInstanceWithArgumentsAndContext(
                U("com.sun.star.io.SequenceInputStream"), uno::Sequence<uno::Any>(&data, 1),
                context);
        request[k] = Args({{"InputStream", uno::Any(stream)}});
    });
    const uno::Reference<graphic::XGraphicProvider2> provider(
        graphic::GraphicProvider::create(context), uno::UNO_QUERY_THROW);
    const uno::Sequence<uno::Reference<graphic::XGraphic>> read = provider->queryGraphics(requests);
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        const auto at = static_cast<sal_Int32>(k);
        if (at >= read.getLength() || !read[at].is())
            throw std::runtime_error("LibreOffice did not read a thumbnail");
        pictures[wanted[k]].graphic = read[at];
    }
    return pictures;
}

QString CellName(int column, int row) // column and row from 0
{
    return QString(QChar(u'A' + column)) + QString::number(row + 1);
}

// Each remote call costs a round trip to the office, and a busy machine makes
// round trips slow: the document builders keep the objects they reuse, fill
// cells in blocks (setDataArray) rather than one by one, and have the office
// read all the thumbnails in one call.
class TextBuilder
{
public:
    explicit TextBuilder(const uno::Reference<lang::XComponent> &doc)
        : m_doc(doc), m_factory(doc, uno::UNO_QUERY_THROW)
    {}

    uno::Reference<text::XTextTable> NewTable(int rows, int columns)
    {
        uno::Reference<text::XTextTable> table(
            m_factory->createInstance(U("com.sun.star.text.TextTable")), uno::UNO_QUERY_THROW);
        table->initialize(rows, columns);
        return table;
    }

    static uno::Reference<text::XText> CellText(const uno::Reference<text::XTextTable> &table,
                                                const QString &name)
    {
        return uno::Reference<text::XText>(table->getCellByName(U(name)), uno::UNO_QUERY_THROW);
    }

    // Texts of a block of cells, set as strings ("\n" is a line break).
    static void SetTexts(const uno::Reference<text::XTextTable> &table, const QString &range,
                         const std::vector<QStringList> &rows)
    {
        const uno::Reference<table::XCellRange> cells(table, uno::UNO_QUERY_THROW);
        const uno::Reference<uno::XInterface> block = cells->getCellRangeByName(U(range));
        SetFont(Props(block, uno::UNO_QUERY_THROW), 8, 100, awt::FontSlant_NONE, 0);
        uno::Reference<sheet::XCellRangeData>(block, uno::UNO_QUERY_THROW)
            ->setDataArray(DataArray(rows));
    }

    // Texts of every cell of the table in one call; their font comes from
    // the table paragraph styles (SetTableFont).
    static void SetTableTexts(const uno::Reference<text::XTextTable> &table,
                              const std::vector<QStringList> &rows)
    {
        uno::Reference<sheet::XCellRangeData>(table, uno::UNO_QUERY_THROW)
            ->setDataArray(DataArray(rows));
    }

    // Arial at `height` points in every table cell that SetTableTexts
    // fills: the two paragraph styles new table cells take (the first row
    // the heading's, the others the contents').
    void SetTableFont(float height)
    {
        uno::Reference<style::XStyleFamiliesSupplier> supplier(m_doc, uno::UNO_QUERY_THROW);
        uno::Reference<container::XNameAccess> styles(
            supplier->getStyleFamilies()->getByName(U("ParagraphStyles")), uno::UNO_QUERY_THROW);
        for (const char *name : {"Table Contents", "Table Heading"})
            SetAll(
                uno::Reference<uno::XInterface>(styles->getByName(U(name)), uno::UNO_QUERY_THROW),
                {{"CharFontName", uno::Any(U("Arial"))}, {"CharHeight", uno::Any(height)}});
    }

    // The picture as an inline picture `width` wide (1/100 mm) at `where`
    // in `text`.
    void InsertPicture(const uno::Reference<text::XText> &text,
                       const uno::Reference<text::XTextRange> &where, const Picture &picture,
                       sal_Int32 width)
    {
        if (!picture.graphic.is())
            return;
        const uno::Reference<uno::XInterface> object =
            m_factory->createInstance(U("com.sun.star.text.TextGraphicObject"));
        SetAll(
            object,
            {{"AnchorType", uno::Any(text::TextContentAnchorType_AS_CHARACTER)},
             {"Graphic", uno::Any(picture.graphic)},
             {"Size", uno::Any(awt::Size(width, static_cast<sal_Int32>(width * picture.pixelHeight /
                                                                       picture.pixelWidth)))}});
        text->insertTextContent(
            where, uno::Reference<text::XTextContent>(object, uno::UNO_QUERY_THROW), false);
    }

private:
    uno::Reference<lang::XComponent> m_doc;
    uno::Reference<lang::XMultiServiceFactory> m_factory;
};

QStringList PicturePaths(const ExportJob &job)
{
    QStringList paths;
    for (const JobScene &scene : job.scenes)
        paths << scene.picture;
    return paths;
}

table::TableBorder InvisibleBorder(sal_Int16 distance)
{
    table::TableBorder border;
    const table::BorderLine none = Line(0);
    border.TopLine = border.BottomLine = border.LeftLine = border.RightLine = none;
    border.HorizontalLine = border.VerticalLine = none;
    border.IsTopLineValid = border.IsBottomLineValid = border.IsLeftLineValid = true;
    border.IsRightLineValid = border.IsHorizontalLineValid = border.IsVerticalLineValid = true;
    border.Distance = distance;
    border.IsDistanceValid = true;
    return border;
}

void NoRowSplits(const uno::Reference<text::XTextTable> &table)
{
    uno::Reference<container::XIndexAccess> rows(table->getRows(), uno::UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < rows->getCount(); ++i)
        Set(Props(rows->getByIndex(i), uno::UNO_QUERY_THROW), "IsSplitAllowed", false);
}

QString SceneLines(const JobScene &s)
{
    return QStringList{s.start + QStringLiteral(" - ") + s.end,
                       QStringLiteral("Duration  = ") + s.duration,
                       s.datecode,
                       s.timecode,
                       s.title,
                       s.subtitle}
        .join(QLatin1Char('\n'));
}

void HeaderAndFooter(const uno::Reference<lang::XComponent> &doc, const ExportJob &job,
                     bool withFooter)
{
    const Props style = PageStyle(doc, U("Standard"));
    Set(style, "HeaderIsOn", true);
    uno::Reference<text::XText> header(style->getPropertyValue(U("HeaderText")),
                                       uno::UNO_QUERY_THROW);
    const uno::Reference<text::XTextCursor> cursor = ClearedCursor(header);
    SetFont(PropsOf(cursor), 8, 100, awt::FontSlant_ITALIC, Rgb(0, 0, 0));
    InsertLines(header, cursor,
                {QStringLiteral("List of scenes of the file  ") + job.video,
                 QStringLiteral("Realized with ") + job.appVersionText, job.exportDate});
    if (withFooter) {
        Set(style, "FooterIsOn", true);
        uno::Reference<text::XText> footer(style->getPropertyValue(U("FooterText")),
                                           uno::UNO_QUERY_THROW);
        InsertPageFields(doc, footer, ClearedCursor(footer), QStringLiteral("  Page "),
                         QStringLiteral(" on"), true);
    }
}

// The title in dark red, 16 points, at the start of the text; the cursor
// stays after it.
uno::Reference<text::XTextCursor> InsertTitle(const uno::Reference<text::XText> &body,
                                              const QString &title, bool centred)
{
    const uno::Reference<text::XTextCursor> cursor = body->createTextCursor();
    cursor->gotoStart(false);
    const Props cp = PropsOf(cursor);
    if (centred)
        Set(cp, "ParaAdjust", style::ParagraphAdjust_CENTER);
    SetFont(cp, 16, 150, awt::FontSlant_NONE, Rgb(128, 0, 0));
    body->insertString(R(cursor), U(title), false);
    return cursor;
}

void BuildWriter(const uno::Reference<lang::XComponent> &doc, const ExportJob &job,
                 std::shared_future<std::vector<Picture>> pictures)
{
    TextBuilder builder(doc);
    uno::Reference<text::XTextDocument> tdoc(doc, uno::UNO_QUERY_THROW);
    const uno::Reference<text::XText> body = tdoc->getText();
    const int count = static_cast<int>(job.scenes.size());
    const int rows = std::max(1, (count + 3) / 4);
    const uno::Reference<text::XTextTable> outer = builder.NewTable(rows, 4);
    const Props outerProps = PropsOf(outer);
    for (const char *margin : {"LeftMargin", "RightMargin", "TopMargin", "BottomMargin"})
        Set(outerProps, margin, sal_Int32(0));

    const uno::Reference<text::XTextCursor> cursor = InsertTitle(body, job.title, false);
    const Props cp = PropsOf(cursor);
    Set(cp, "CharHeight", 6.0f);
    body->insertControlCharacter(R(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
    Set(cp, "CharHeight", 8.0f);
    body->insertTextContent(R(cursor), C(outer), false);
    Set(outerProps, "TableBorder", InvisibleBorder(75));
    NoRowSplits(outer);
    const uno::Reference<table::XCellRange> outerRange(outer, uno::UNO_QUERY_THROW);
    const Props cells(outerRange->getCellRangeByName(U(QStringLiteral("A1:D%1").arg(rows))),
                      uno::UNO_QUERY_THROW);
    Set(cells, "CharHeight", 8.0f);
    Set(cells, "ParaAdjust", style::ParagraphAdjust_LEFT);
    HeaderAndFooter(doc, job, true);

    builder.SetTableFont(8);
    Trace("page set up");

    table::TableBorder border = InvisibleBorder(25);
    border.TopLine = border.BottomLine = border.LeftLine = border.RightLine = Line(2);
    const std::vector<Picture> &shown = pictures.get();
    Trace("pictures read");
    // Each scene fills a cell of its own.
    ForEachConcurrently(count, [&](int index) {
        const JobScene &scene = job.scenes[static_cast<std::size_t>(index)];
        // Caption, thumbnail and texts in a small table of their own.
        const uno::Reference<text::XText> cell =
            TextBuilder::CellText(outer, CellName(index % 4, index / 4));
        const uno::Reference<text::XTextTable> inner = builder.NewTable(3, 1);
        cell->insertTextContent(R(cell), C(inner), false);
        SetAll(inner, {{"RightMargin", uno::Any(sal_Int32(0))}, {"TableBorder", uno::Any(border)}});
        TextBuilder::SetTableTexts(
            inner, {{QStringLiteral("Scene n°") + scene.number}, {QString()}, {SceneLines(scene)}});
        const uno::Reference<text::XText> pictureCell =
            TextBuilder::CellText(inner, QStringLiteral("A2"));
        builder.InsertPicture(pictureCell, R(pictureCell), shown[static_cast<std::size_t>(index)],
                              3800);
    });
}

void BuildWord(const uno::Reference<lang::XComponent> &doc, const ExportJob &job,
               std::shared_future<std::vector<Picture>> pictures)
{
    TextBuilder builder(doc);
    uno::Reference<text::XTextDocument> tdoc(doc, uno::UNO_QUERY_THROW);
    const uno::Reference<text::XText> body = tdoc->getText();
    HeaderAndFooter(doc, job, false);

    const uno::Reference<text::XTextCursor> cursor = InsertTitle(body, job.title, true);
    const Props cp = PropsOf(cursor);
    body->insertControlCharacter(R(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
    Set(cp, "ParaAdjust", style::ParagraphAdjust_LEFT);
    Set(cp, "CharWeight", 100.0f);
    Set(cp, "CharColor", Rgb(0, 0, 0));
    body->insertControlCharacter(R(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
    body->insertControlCharacter(R(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
    Set(cp, "CharHeight", 8.0f);

    const int count = static_cast<int>(job.scenes.size());
    const int rows = 2 * std::max(1, (count + 3) / 4);
    const uno::Reference<text::XTextTable> table = builder.NewTable(rows, 4);
    body->insertTextContent(R(cursor), C(table), false);
    // Four columns of 120 points (4233 hundredths of a millimetre) each.
    const Props tp = PropsOf(table);
    Set(tp, "HoriOrient", sal_Int16(3)); // LEFT
    Set(tp, "Width", sal_Int32(4 * 4233));
    NoRowSplits(table);

    // Scene k in column k mod 4 of rows 2 (k div 4) (caption) and the row below.
    std::vector<QStringList> texts(static_cast<std::size_t>(rows), QStringList(4, QString()));
    for (int k = 0; k < count; ++k) {
        const JobScene &scene = job.scenes[static_cast<std::size_t>(k)];
        const auto row = static_cast<std::size_t>(2 * (k / 4));
        texts[row][k % 4] = QStringLiteral("Scene n°") + scene.number;
        texts[row + 1][k % 4] = SceneLines(scene);
    }
    TextBuilder::SetTexts(table, QStringLiteral("A1:D%1").arg(rows), texts);
    // Each caption row stays on the page of its pictures.
    for (int row = 0; row < rows; row += 2) {
        const uno::Reference<table::XCellRange> range(table, uno::UNO_QUERY_THROW);
        Set(Props(range->getCellRangeByName(U(QStringLiteral("A%1:D%1").arg(row + 1))),
                  uno::UNO_QUERY_THROW),
            "ParaKeepTogether", true);
    }
    for (int k = 0; k < count; ++k) {
        const Picture &picture = pictures.get()[static_cast<std::size_t>(k)];
        if (!picture.graphic.is())
            continue;
        const uno::Reference<text::XText> cell =
            TextBuilder::CellText(table, CellName(k % 4, 2 * (k / 4) + 1));
        // The picture in a paragraph of its own above the texts.
        cell->insertControlCharacter(cell->getStart(), text::ControlCharacter::PARAGRAPH_BREAK,
                                     false);
        builder.InsertPicture(cell, cell->getStart(), picture, 4000);
    }
}

// Why storing `output` in `folder` failed, as a person understands it: the
// system's reason where the folder shows one (no right to write there, no
// room left), else the office's own words.
std::string StoreFailure(const QString &output, const QString &folder, const QString &office)
{
    // Less room than this is taken as none: the office stores whole
    // documents of a few hundred kilobytes and more.
    constexpr unsigned long long kLittleRoom = 1024 * 1024;
    const QByteArray where = QFile::encodeName(folder);
    int error = 0;
    struct statvfs fs = {};
    if (::access(where.constData(), W_OK) != 0)
        error = errno;
    else if (::statvfs(where.constData(), &fs) == 0 &&
             static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kLittleRoom)
        error = ENOSPC;
    else if (office.contains(QStringLiteral("Class:Space")))
        error = ENOSPC;
    else if (office.contains(QStringLiteral("Class:Access")))
        error = EACCES;
    if (error != 0)
        return QStringLiteral("%1: %2")
            .arg(output, QString::fromLocal8Bit(std::strerror(error)))
            .toStdString();
    return QStringLiteral("LibreOffice could not store %1 (%2)").arg(output, office).toStdString();
}

// The temporary file and the office's lock file beside it, removed unless
// the store went through.
class PendingStore
{
public:
    explicit PendingStore(const QString &temporary) : m_temporary(temporary)
    {
        std::lock_guard lock(g_pendingLock);
        g_pending = QFile::encodeName(temporary).toStdString();
    }
    ~PendingStore()
    {
        const std::string pending = QFile::encodeName(m_temporary).toStdString();
        ::unlink(OfficeLockFileOf(pending).c_str());
        if (!m_done)
            ::unlink(pending.c_str());
        std::lock_guard lock(g_pendingLock);
        g_pending.clear();
    }
    PendingStore(const PendingStore &) = delete;
    PendingStore &operator=(const PendingStore &) = delete;
    void Done() { m_done = true; }

private:
    QString m_temporary;
    bool m_done = false;
};

// Stores the document with the job's filter under a temporary name beside
// the output, checks the file's first bytes and renames it into place.
void Store(const uno::Reference<lang::XComponent> &doc, const ExportJob &job)
{
    const QFileInfo target(job.output);
    const QString folder = target.absolutePath();
    // A short name of fixed length: it and the office's lock file
    // (".~lock." + name + "#") stay far within the file system's limit on a
    // name, however long the output's name.
    QTemporaryFile temp(folder + QStringLiteral("/.~vidora-XXXXXX.") + job.format);
    temp.setAutoRemove(false); // PendingStore removes it
    if (!temp.open())
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(folder, temp.errorString()).toStdString());
    temp.close();
    PendingStore pending(temp.fileName());
    uno::Reference<frame::XStorable> storable(doc, uno::UNO_QUERY_THROW);
    try {
        storable->storeToURL(
            U(QUrl::fromLocalFile(temp.fileName()).toString(QUrl::FullyEncoded)),
            Args({{"FilterName", uno::Any(U(job.filterName()))}, {"Overwrite", uno::Any(true)}}));
    } catch (const uno::Exception &e) {
        throw std::runtime_error(
            StoreFailure(job.output, folder,
                         QString::fromUtf16(reinterpret_cast<const char16_t *>(e.Message.getStr()),
                                            e.Message.getLength())));
    }
    QFile stored(temp.fileName());
    if (!stored.open(QIODevice::ReadOnly) || !stored.read(4).startsWith(job.magic()))
        throw std::runtime_error(StoreFailure(
            job.output, folder, QStringLiteral("LibreOffice stored no %1 file").arg(job.format)));
    stored.close();
    // The mode a new file would get, not the temporary file's private one.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(temp.fileName()).constData(), 0666 & ~mask);
    if (::rename(QFile::encodeName(temp.fileName()).constData(),
                 QFile::encodeName(job.output).constData()) != 0)
        throw std::runtime_error(QStringLiteral("%1: %2")
                                     .arg(job.output, QString::fromLocal8Bit(strerror(errno)))
                                     .toStdString());
    pending.Done();
}

void Close(const uno::Reference<lang::XComponent> &doc)
{
    try {
        uno::Reference<util::XCloseable> closeable(doc, uno::UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
        else
            doc->dispose();
    } catch (const uno::Exception &) {
    }
}

} // namespace

std::string OfficeLockFileOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, start) + ".~lock." + path.substr(start) + "#";
}

std::string PendingOutput()
{
    std::lock_guard lock(g_pendingLock);
    return g_pending;
}

void ExportScenes(const uno::Reference<uno::XComponentContext> &context, const ExportJob &job)
{
    // The office reads the thumbnails while the document is made.
    std::shared_future<std::vector<Picture>> pictures;
    if (!job.isSpreadsheet())
        pictures = std::async(std::launch::async, ReadPictures, context, PicturePaths(job));
    // The office reads its filter settings on the first store: it reads them
    // now, while the document is made and built.
    std::future<void> filters = std::async(std::launch::async, [&context, &job] {
        try {
            const uno::Reference<container::XNameAccess> factory(
                context->getServiceManager()->createInstanceWithContext(
                    U("com.sun.star.document.FilterFactory"), context),
                uno::UNO_QUERY_THROW);
            factory->getByName(U(job.filterName()));
        } catch (const uno::Exception &) {
            // the store reports a filter that is missing
        }
    });
    const uno::Reference<lang::XComponent> doc =
        NewDocument(context, job.isSpreadsheet() ? "com.sun.star.sheet.SpreadsheetDocument"
                                                 : "com.sun.star.text.TextDocument");
    Trace("document created");
    // No view updates while the document is built.
    const uno::Reference<frame::XModel> model(doc, uno::UNO_QUERY_THROW);
    model->lockControllers();
    try {
        if (job.format == "ods")
            BuildCalc(doc, job);
        else if (job.format == "xls")
            BuildExcel(doc, job);
        else if (job.format == "odt")
            BuildWriter(doc, job, pictures);
        else
            BuildWord(doc, job, pictures);
        model->unlockControllers();
        Trace("document built");
        filters.wait();
        Store(doc, job);
        Trace("document stored");
    } catch (...) {
        Close(doc);
        throw;
    }
    Close(doc);
    Trace("document closed");
}

} // namespace vidora::office
