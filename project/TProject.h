#pragma once

#include "core/TComponent.h"

#include <QStringList>

// A project's identity: version text, build number, notices, the fields of a
// version resource and a change log. In the running program it only holds
// values; counting builds, writing resource files and backing up sources are
// tools of the designer and are not part of it.
class TProject : public TComponent {
    Q_OBJECT
    Q_PROPERTY(bool AutoNaming READ AutoNaming WRITE SetAutoNaming)
    Q_PROPERTY(int Build READ Build WRITE SetBuild)
    Q_PROPERTY(QStringList Log READ Log WRITE SetLog)
    Q_PROPERTY(QStringList Notes READ Notes WRITE SetNotes)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(bool AutoBackup READ AutoBackup WRITE SetAutoBackup)
    Q_PROPERTY(QString BackupFiles READ BackupFiles WRITE SetBackupFiles)
    Q_PROPERTY(QString BackupPath READ BackupPath WRITE SetBackupPath)
    Q_PROPERTY(QString ProjectPath READ ProjectPath WRITE SetProjectPath)
    Q_PROPERTY(bool SmartBackup READ SmartBackup WRITE SetSmartBackup)
    Q_PROPERTY(QString Company READ Company WRITE SetCompany)
    Q_PROPERTY(QString Copyright READ Copyright WRITE SetCopyright)
    Q_PROPERTY(QString Comment READ Comment WRITE SetComment)
    Q_PROPERTY(QString Description READ Description WRITE SetDescription)
    Q_PROPERTY(QString SpecialBuild READ SpecialBuild WRITE SetSpecialBuild)
    Q_PROPERTY(QString PrivateBuild READ PrivateBuild WRITE SetPrivateBuild)
    Q_PROPERTY(QString Productname READ Productname WRITE SetProductname)
    Q_PROPERTY(QString ProductVersion READ ProductVersion WRITE SetProductVersion)
    Q_PROPERTY(QString OriginalName READ OriginalName WRITE SetOriginalName)
    Q_PROPERTY(QString Trademarks READ Trademarks WRITE SetTrademarks)
    Q_PROPERTY(TLanguage Language READ Language WRITE SetLanguage)
    Q_PROPERTY(TCharset Charset READ Charset WRITE SetCharset)
    Q_PROPERTY(TFileType FileType READ FileType WRITE SetFileType)
    Q_PROPERTY(QString ResourceFile READ ResourceFile WRITE SetResourceFile)

public:
    enum TFileType { ftProgram, ftLibrary };
    Q_ENUM(TFileType)
    enum TCharset {
        cs7bit_ASCII, csJapan_JIS_X_0208, csKorea_KSC_5601, csTaiwan_GB5, csUnicode, csLatin_2,
        csCyrillic, csMultilingual, csGreek, csTurkish, csHebrew, csArabic,
    };
    Q_ENUM(TCharset)
    enum TLanguage {
        lanArabic, lanBulgarian, lanCatalan, lanTraditional_Chinese, lanCzech, lanDanish, lanGerman,
        lanGreek, lanUS_English, lanCastilian_Spanish, lanFinnish, lanFrench, lanHebrew, lanHungarian,
        lanIcelandic, lanItalian, lanJapanese, lanKorean, lanDutch, lanNorwegian_Bokmal, lanPolish,
        lanBrazilian_Portuguese, lanRhaeto_Romanic, lanRomanian, lanRussian, lanCroato_Serbian_latin,
        lanSlovak, lanAlbanian, lanSwedish, lanThai, lanTurkish, lanUrdu, lanBahasa,
        lanSimplified_Chinese, lanSwiss_German, lanUK_English, lanMexican_Spanish, lanBelgian_French,
        lanSwiss_Italian, lanBelgian_Dutch, lanNorwegian_Nynorsk, lanPortuguese, lanSerbo_Croatian,
        lanCanadian_French, lanSwiss_French, lanIgnorre,
    };
    Q_ENUM(TLanguage)

    explicit TProject(QObject* owner);

    // Keeps the digits and dots of the text and a final digit or lower-case
    // letter; what is left of an unusable text is "0.01".
    static QString NormalizeVersion(const QString& text);

    // Sets the application's title from the name, version and build when
    // AutoNaming is on.
    void Loaded() override;

    bool AutoNaming() const { return m_autoNaming; }
    void SetAutoNaming(bool value) { m_autoNaming = value; }
    int Build() const { return m_build; }
    void SetBuild(int build) { m_build = build; }
    QStringList Log() const { return m_log; }
    void SetLog(const QStringList& lines) { m_log = lines; }
    QStringList Notes() const { return m_notes; }
    void SetNotes(const QStringList& lines) { m_notes = lines; }
    QString Version() const { return m_version; }
    // Stores the normalised text and notes the new version in the log.
    void SetVersion(const QString& version);
    bool AutoBackup() const { return m_autoBackup; }
    void SetAutoBackup(bool value) { m_autoBackup = value; }
    // Backups are made only while the form is designed: the running program
    // drops these three values.
    QString BackupFiles() const { return m_backupFiles; }
    void SetBackupFiles(const QString&) { }
    QString BackupPath() const { return m_backupPath; }
    void SetBackupPath(const QString&) { }
    QString ProjectPath() const { return m_projectPath; }
    void SetProjectPath(const QString&) { }
    bool SmartBackup() const { return m_smartBackup; }
    void SetSmartBackup(bool value) { m_smartBackup = value; }
    QString Company() const { return m_company; }
    void SetCompany(const QString& text) { m_company = text; }
    QString Copyright() const { return m_copyright; }
    void SetCopyright(const QString& text) { m_copyright = text; }
    QString Comment() const { return m_comment; }
    void SetComment(const QString& text) { m_comment = text; }
    QString Description() const { return m_description; }
    void SetDescription(const QString& text) { m_description = text; }
    QString SpecialBuild() const { return m_specialBuild; }
    void SetSpecialBuild(const QString& text) { m_specialBuild = text; }
    QString PrivateBuild() const { return m_privateBuild; }
    void SetPrivateBuild(const QString& text) { m_privateBuild = text; }
    QString Productname() const { return m_productname; }
    void SetProductname(const QString& text) { m_productname = text; }
    QString ProductVersion() const { return m_productVersion; }
    void SetProductVersion(const QString& text) { m_productVersion = text; }
    QString OriginalName() const { return m_originalName; }
    void SetOriginalName(const QString& text) { m_originalName = text; }
    QString Trademarks() const { return m_trademarks; }
    void SetTrademarks(const QString& text) { m_trademarks = text; }
    TLanguage Language() const { return m_language; }
    void SetLanguage(TLanguage value) { m_language = value; }
    TCharset Charset() const { return m_charset; }
    void SetCharset(TCharset value) { m_charset = value; }
    TFileType FileType() const { return m_fileType; }
    void SetFileType(TFileType value) { m_fileType = value; }
    QString ResourceFile() const { return m_resourceFile; }
    // The name is kept with the extension ".res", added when it has none.
    void SetResourceFile(const QString& fileName);

private:
    QString m_resourceFile;
    QString m_company;
    QString m_copyright;
    QString m_comment;
    QString m_description;
    QString m_specialBuild;
    QString m_privateBuild;
    QString m_productname;
    QString m_productVersion;
    QString m_originalName;
    QString m_trademarks;
    TLanguage m_language = lanArabic;
    TCharset m_charset = cs7bit_ASCII;
    TFileType m_fileType = ftProgram;
    bool m_smartBackup = false;
    bool m_autoNaming = false;
    bool m_autoBackup = false;
    QString m_backupFiles;
    QString m_backupPath;
    QString m_projectPath;
    int m_build = 0;
    QStringList m_notes;
    QStringList m_log;
    QString m_version;
};
