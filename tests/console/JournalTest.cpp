#include "ConsoleFixture.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

namespace {

class Journal : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        ASSERT_TRUE(Folder.isValid());
        // The page's buttons act only while the page control is enabled, that is, connected.
        Get<QWidget>("PageControl1")->setEnabled(true);
        SetSaveFilePrompt([this](QWidget*, const QString& filter) {
            Filters << filter;
            return Chosen;
        });
    }
    void TearDown() override {
        SetSaveFilePrompt({});
        ConsoleTest::TearDown();
    }

    QString Path(const char* name) const { return Folder.filePath(QString::fromUtf8(name)); }
    QByteArray Read(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void Write(const QString& path, const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Save(const QString& path) {
        Chosen = path;
        Get<QPushButton>("Button5")->click();
    }
    QStringList FolderEntries() const {
        return QDir(Folder.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir Folder;
    QString Chosen;
    QStringList Filters;
};

TEST_F(Journal, SavesEveryLineInWindows1251WithCrLf) {
    Window->JournalAdd(U("Тест Veltor TR7042K"));
    Window->JournalAdd(U(" "));
    Window->JournalAdd(U("Общее количество ошибок: 0"));
    Window->JournalAdd(QString());
    Window->JournalAdd(U("ЄЇ"));
    Save(Path("journal"));
    EXPECT_TRUE(Messages.Texts.isEmpty()) << Messages.Texts.join('|').toStdString();
    EXPECT_EQ(Read(Path("journal")), QByteArray("\xd2\xe5\xf1\xf2 Veltor TR7042K\r\n \r\n"
                                                "\xce\xe1\xf9\xe5\xe5 \xea\xee\xeb\xe8\xf7\xe5"
                                                "\xf1\xf2\xe2\xee \xee\xf8\xe8\xe1\xee\xea: 0\r\n"
                                                "\r\n\xaa\xaf\r\n"));
    // Exactly the chosen name: no extension added, nothing else left in the folder.
    EXPECT_EQ(FolderEntries(), QStringList{U("journal")});
    EXPECT_EQ(Filters.size(), 1);
    EXPECT_TRUE(Filters.value(0).startsWith(U("Все файлы (*")));
}

TEST_F(Journal, AnEmptyJournalReplacesTheFileWithAnEmptyOne) {
    Write(Path("old.txt"), "old contents\r\n");
    Save(Path("old.txt"));
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_EQ(Read(Path("old.txt")), QByteArray());
}

TEST_F(Journal, CancelledSaveWritesNothing) {
    Window->JournalAdd(U("строка"));
    Save(QString());
    EXPECT_TRUE(FolderEntries().isEmpty());
    EXPECT_TRUE(Messages.Texts.isEmpty());
}

TEST_F(Journal, AFailedSaveKeepsTheOldFileAndTheJournal) {
    Write(Path("report.txt"), "previous run\r\n");
    Window->JournalAdd(U("первая строка"));
    Window->JournalAdd(U("ответ 中"));
    Save(Path("report.txt"));
    ASSERT_EQ(Messages.Texts.size(), 1);
    EXPECT_TRUE(Messages.Texts[0].startsWith(
        U("Не удалось сохранить журнал в файл «%1»").arg(Path("report.txt"))))
        << Messages.Texts[0].toStdString();
    EXPECT_TRUE(Messages.Texts[0].contains(U("U+4E2D")));
    EXPECT_EQ(Read(Path("report.txt")), QByteArray("previous run\r\n"));
    EXPECT_EQ(FolderEntries(), QStringList{U("report.txt")});
    EXPECT_EQ(Get<QPlainTextEdit>("RichEdit1")->toPlainText(), U("первая строка\nответ 中"));

    // A name that cannot be written: a folder, and a file in a folder that does not exist.
    ASSERT_TRUE(QDir(Folder.path()).mkdir(U("folder")));
    Messages.Texts.clear();
    Window->Button6Click(nullptr);
    Window->JournalAdd(U("строка"));
    Save(Path("folder"));
    Save(Path("missing/report.txt"));
    ASSERT_EQ(Messages.Texts.size(), 2);
    EXPECT_TRUE(Messages.Texts[0].startsWith(U("Не удалось сохранить журнал")));
    EXPECT_TRUE(Messages.Texts[1].startsWith(U("Не удалось сохранить журнал")));
    EXPECT_TRUE(QFileInfo(Path("folder")).isDir());
    EXPECT_EQ(FolderEntries(), (QStringList{U("folder"), U("report.txt")}));
}

TEST_F(Journal, ClearEmptiesTheJournalAndLaterLinesStartAfresh) {
    for (int i = 0; i < 200; ++i)
        Window->JournalAdd(U("строка %1").arg(i));
    QScrollBar* bar = Get<QPlainTextEdit>("RichEdit1")->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    Get<QPushButton>("Button6")->click();
    EXPECT_TRUE(Get<QPlainTextEdit>("RichEdit1")->document()->isEmpty());
    Window->JournalAdd(U("Тест остановлен"));
    Save(Path("after-clear.log"));
    EXPECT_EQ(Read(Path("after-clear.log")),
              QByteArray("\xd2\xe5\xf1\xf2 \xee\xf1\xf2\xe0\xed\xee\xe2\xeb\xe5\xed\r\n"));
}

// With no run of its own (one a disconnect ended left it enabled), the stop button only comes
// back to idle: the stop flag is the running loop's, and no full test runs.
TEST_F(Journal, StopWithoutARunSwitchesTheButtonsToIdleAndStopsNothing) {
    Get<QPushButton>("Button3")->setEnabled(false);
    Get<QPushButton>("Button4")->setEnabled(true);
    Window->Button4Click(Get<QPushButton>("Button4"));
    EXPECT_FALSE(Get<QPushButton>("Button4")->isEnabled());
    EXPECT_TRUE(Get<QPushButton>("Button3")->isEnabled());
    EXPECT_FALSE(Window->StopFlag);
}

} // namespace
