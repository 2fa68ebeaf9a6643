#pragma once

// The two frames of the scene editor: TSFrame, the scene list of the active
// video (load, keep, save, export, move to the next or previous scene), and
// TSceneBase, the panel that shows one scene.
#include "scenes/scenelist.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace vidora {

// The video view as the scene editor moves it. GUI thread.
class ISceneNavigator
{
public:
    virtual ~ISceneNavigator() = default;
    virtual void Pause() = 0;
    virtual std::uint32_t CurrentFrame() = 0;
    // Positions the preview on `frame` and shows it as the video position.
    virtual void SeekTo(std::uint32_t frame) = 0;
};

// What the frames take from the main window.
struct TSceneFrameServices
{
    std::function<TSceneContext()> context = [] { return TSceneContext{}; };
    ISceneNavigator *navigator = nullptr; // not owned
    // MakeOutputPath of the settings.
    std::function<QString(const QString &video, const QString &ending)> outputPath =
        [](const QString &video, const QString &ending) { return CompanionName(video, ending); };
    TListingTexts listing;
    TOfficeSetup office;
    // Opens a finished export for the user; by default with the desktop's
    // program when there is a display.
    std::function<void(const QString &file)> openFile;
    // Shows a failure; by default nothing.
    std::function<void(const QString &message)> reportError;

    static QString CompanionName(const QString &video, const QString &ending);
};

class TSFrame : public QWidget
{
    Q_OBJECT
public:
    explicit TSFrame(TSceneFrameServices services, QWidget *parent = nullptr);

    void ShowFrame();
    void HideFrame();
    // The list of the video: its ".scn" file, or one scene for the whole video.
    void ShowScenes(const QString &videoName, std::uint32_t frameCount);
    void LoadScenes(const QString &videoName);
    void ShowUnanalysed(const QString &videoName, std::uint32_t frameCount);
    void ClearScenes();
    std::shared_ptr<TSceneClass> GetScene(int index) const;
    int Count() const { return static_cast<int>(m_scenes.size()); }
    TSceneList &Scenes() { return m_scenes; }
    // The items' texts again from the scenes (after an edit).
    void RefreshList();

    bool SaveScn(const QString &videoName);
    bool ExportText(const QString &videoName);
    bool ExportExcel(const QString &videoName);
    bool ExportWord(const QString &videoName);
    bool ExportCalc(const QString &videoName);
    bool ExportWriter(const QString &videoName);

    std::uint32_t NextSceneStart(std::uint32_t position, std::uint32_t fallback) const;
    std::uint32_t PrevSceneStart(std::uint32_t position) const;
    void GoNextScene(std::uint32_t frameCount);
    void GoPrevScene();

    QLabel *labSelect = nullptr;
    QListWidget *lb = nullptr;
    bool Modified = false;
    QString VideoName;

signals:
    // The user picked the scene of this index in the list.
    void sceneChosen(int index);

private:
    bool ExportOffice(TOfficeFormat format, const QString &videoName);
    void Fail(const QString &message);

    TSceneFrameServices m_services;
    TSceneList m_scenes;
};

class TSceneBase : public QWidget
{
    Q_OBJECT
public:
    explicit TSceneBase(TSceneFrameServices services, QWidget *parent = nullptr);

    // Shows the scene and moves the video to its start.
    void ShowScene(std::shared_ptr<TSceneClass> scene);
    const std::shared_ptr<TSceneClass> &ShownScene() const { return m_shown; }

    // Whether the main window shows the scene editor.
    bool EditorShown = false;
    // The image's bounds as laid out, within which the thumbnail is fitted.
    QRect ImageBounds{148, 20, 144, 108};

    QLabel *labScene = nullptr;
    QLabel *labDuree = nullptr;
    QLabel *labTimeStamp = nullptr;
    QLabel *labTimecode = nullptr;
    QLabel *labDatecode = nullptr;
    QLabel *image = nullptr;
    QPlainTextEdit *memoTitre = nullptr;

    static constexpr int kMaxCaption = 252;

private:
    TSceneFrameServices m_services;
    std::shared_ptr<TSceneClass> m_shown;
};

} // namespace vidora
