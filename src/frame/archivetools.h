#pragma once

#include "commandtarget.h"

#include <QObject>
#include <QPointer>
#include <string>

namespace archive {
struct Properties;
}

namespace frame {

class CMainFrame;
class FindBar;
class PropertiesWindow;

// The commands of the Archive menu and of the end of the archive panes' context menus: Test
// Archive and Test Selected, Properties (of the archive, of a member or of a folder), and Find,
// with the find bar and the Properties window they open.
class ArchiveTools : public QObject, public views::CommandTarget {
    Q_OBJECT
public:
    ArchiveTools(CMainFrame& frame, FindBar& findBar);

    bool onCommand(int id) override;
    bool onUpdateCommand(int id, views::CommandState& state) override;

    // Closes the find bar; the archive list shows its folder again.
    void closeFind();
    FindBar& findBar() { return m_findBar; }
    // The Properties window while it is shown; null otherwise.
    PropertiesWindow* shownProperties() const;

private:
    void testArchive();
    void testSelected();
    void showProperties();
    void showArchiveProperties();
    void showMemberProperties(const std::string& memberPath);
    void showFolderProperties(const std::string& folder);
    void present(const archive::Properties& properties);
    bool saveComment(const std::string& comment);
    void find(const QString& text, bool matchCase);
    // Whether the open archive exists on disk; says so in a box when it does not.
    bool archiveExists();

    CMainFrame& m_frame;
    FindBar& m_findBar;
    QPointer<PropertiesWindow> m_properties;
};

} // namespace frame
