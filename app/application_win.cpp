#include "app/application_win.h"

#include "app/change_detection.h"
#include "app/exports.h"
#include "app/row_tip.h"
#include "app/unread_places.h"
#include "capture/registry_provider.h"
#include "core/handler.h"
#include "core/utf.h"
#include "settings/data_files.h"

namespace qv {

Application::Application(HINSTANCE instance, std::string updateHost)
    : window_(instance, *this),
      workflow_(WorkflowServices{state_, window_, prompt_, pump_, reporter_, registry_, files_, folders_}),
      advanced_(instance, [this](AdvancedView& view) {
          advancedPrompt_.emplace(prompt_, [&view] { return view.windowHandle(); });
          return std::make_unique<AdvancedSettings>(AdvancedServices{state_, view, *advancedPrompt_, reporter_, folders_,
                                                                     filePicker_, fileDialog_, codePage_, *this,
                                                                     exeFolder()});
      }),
      about_(instance, prompt_),
      updateHost_(std::move(updateHost)) {
    answerFileDialogsWith(filePicker_, savePicker_);
    pump_.beforePump = [this] { window_.flush(); };
    pump_.afterKey = [this] { window_.keepFocusInView(); };
    prompt_.beforeShow = [this] { window_.flush(); };
    workflow_.Detect_Click = [this] {
        DetectionContext ctx{state_, window_, pump_, files_, prompt_};
        Detect_Click(ctx);
        unsaved_->compared();
    };
    workflow_.firstCollected = [this] { unsaved_->firstCollected(); };
    window_.mayClose = [this] {
        if (!unsaved_->mayDrop("Closing Quorvel")) return false;
        unsaved_->closing();
        if (remembers) remember();
        closed_ = true;
        return true;
    };
}

Application::~Application() {
    if (!remembers && !closed_ && unsaved_) unsaved_->forget();
}

bool Application::Form_Load(int showCommand) {
    bool go = true;
    runHandler(reporter_, [&] {
        state_ = AppState{};
        HttpVersionSource versions(prompt_, pump_);
        StartUpServices startUp{prompt_, reporter_, versions, store_, browser_};
        if (!StartUp(startUp, updateHost_)) {
            go = false;
            return;
        }
        window_.create(toWide(std::string(kAppname) + " " + kCurrentVersion));
        prompt_.owner = window_.hwnd();
        snapshots_->owner = reinterpret_cast<intptr_t>(window_.hwnd());
        pump_.dialogWindow = window_.hwnd();
        pump_.accelerators = window_.accelerators();
        window_.captureProgress = [this] { return captureProgress(); };
        window_.registryRoot = [this] { return resultContext(state_).hiveName; };
        window_.rowDetail = [this](ListId list, const ResultRow& row) { return oldDataOf(list, row); };
        window_.listsChecked = [this] {
            std::array<bool, 6> checked{};
            const bool registry = window_.registryTicked() && state_.FirstPlaces && state_.FirstPlaces->registryWalked;
            for (ListId list : kAllLists)
                checked[static_cast<size_t>(list)] =
                    listChecked(list, state_.switches, registry, state_.FinishFileScanRan);
            return checked;
        };
        window_.unreadPlaces = [this] { return unreadOfBoth(state_.FirstUnread, state_.FinalUnread).size(); };
        setDataFilePaths(state_, exeFolder());
        LoadSettingsAndLists(state_, codePage_, reporter_);
        if (remembers) recall(showCommand);
        ShowWindow(window_.hwnd(), showCommand);
        UpdateWindow(window_.hwnd());
        window_.focusFirst();
        browser_.owner = window_.hwnd();
        if (remembers) unsaved_->offerKept();
    });
    // Without a window the message loop would wait for good on messages that
    // never come (Wine's desktop can fail to start): the process ends instead.
    if (go && !window_.hwnd()) {
        windowFailed_ = true;
        const char line[] = "quorvel: the main window could not be created (is a desktop available?)\n";
        DWORD done = 0;
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (err && err != INVALID_HANDLE_VALUE) WriteFile(err, line, sizeof line - 1, &done, nullptr);
        return false;
    }
    return go;
}

void Application::answerFileDialogsWith(FilePicker& open, SaveFilePicker& save) {
    const intptr_t owner = snapshots_ ? snapshots_->owner : 0;
    snapshots_.emplace(SnapshotServices{state_, window_, window_, prompt_, reporter_, open, save, workflow_});
    snapshots_->owner = owner;
    if (!unsaved_)
        unsaved_.emplace(UnsavedWorkServices{state_, window_, prompt_, store_, *snapshots_, workflow_,
                                             exeFolder() + "\\" + kKeptSnapshotName});
    snapshots_->firstInFile = [this](const std::string& path) { unsaved_->firstInFile(path); };
    snapshots_->exported = [this] { unsaved_->exported(); };
}

MainResults::Work Application::workInHand() const {
    Work work;
    work.collecting = workflow_.collecting();
    work.firstSnapshot = workflow_.awaitingFinal();
    work.results = window_.hasResults();
    if (const auto inHand = workflow_.inHand()) {
        work.bothSnapshots = true;
        work.registryInHand = inHand->registry;
        work.filesInHand = inHand->files;
    }
    work.registryTicked = window_.registryTicked();
    work.filesTicked = window_.filesTicked();
    return work;
}

void Application::applySettingsToSnapshots() {
    workflow_.applySettingsToSnapshots();
    window_.flush();
}

void Application::clearResultsForNewSettings() {
    // A collection that went on would end in a first snapshot of the old
    // settings and put its caption back over the one set here.
    if (workflow_.collecting()) workflow_.cmdReset_Click();
    for (ListId id : {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry, ListId::NewFiles,
                      ListId::DeletedFiles, ListId::ModifiedFiles})
        window_.clearList(id);
    window_.setCollectCaption("Collect data");
    // The question promised that the next click collects anew: after a final
    // collection the button was left disabled until a reset.
    window_.setCollectEnabled(true);
    window_.setStatus("");
    window_.flush();
}

bool Application::available(int controlId) const {
    switch (controlId) {
        case IDM_mnuSaveFirst: return snapshots_->canSave();
        case IDM_mnuOpenFirst: return snapshots_->canOpen();
        case IDM_mnuExport: return snapshots_->canExport();
        default: return true;
    }
}

// With digit groups, so that a growing count reads at a glance.
static std::string grouped(size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Application::captureProgress() const {
    const FileSnapshot& files = state_.StartFileListBoolean ? state_.StartFileList : state_.FinishFileList;
    const size_t fileCount = files.empty() ? 0 : files.size() - 1;
    return grouped(static_cast<size_t>(std::max(state_.j, 0))) + " registry entries, " + grouped(fileCount) +
           " files recorded";
}

// What a row's tooltip adds to its cells: the list itself keeps its columns.
std::string Application::oldDataOf(ListId list, const ResultRow& row) const {
    const RegEntry* first = nullptr;
    if (list == ListId::EditedRegistry) {
        for (const RegEntry& e : state_.regArray) {
            if (e.ValueType != kKeyEntryType && e.KeyName == row.text && e.ValueName == row.sub1) {
                first = &e;
                break;
            }
        }
    }
    return rowDetail(list, row, first);
}

namespace {
// The names of the remembered values, after the program's name.
constexpr const char* kRootValue = "StartRoot";
constexpr const char* kKeyValue = "StartKey";
constexpr const char* kFolderValue = "StartFolder";
constexpr const char* kPlacementValue = "Placement";
constexpr const char* kColumnsValue = "Columns";
}  // namespace

void Application::remember() {
    const auto save = [&](const char* name, const std::string& text) {
        store_.SaveString(kHiveCurrentUser, kMainKey, std::string(kAppname) + name, text);
    };
    save(kRootValue, window_.regRootText());
    save(kKeyValue, window_.regKeyText());
    save(kFolderValue, window_.fileStartText());
    save(kPlacementValue, placementText(window_.placement()));
    save(kColumnsValue, columnWidthsText(window_.columnWidths()));
}

void Application::recall(int& showCommand) {
    const auto get = [&](const char* name) {
        return store_.GetString(kHiveCurrentUser, kMainKey, std::string(kAppname) + name);
    };
    // The root is written with the key: a key left empty (the root itself) is remembered too.
    if (const std::string root = get(kRootValue); hiveNumber(root)) {
        window_.setRegRootText(root);
        window_.setRegKeyText(get(kKeyValue));
    }
    if (const std::string folder = get(kFolderValue); !folder.empty()) window_.setFileStartText(folder);
    if (const std::optional<Placement> placement = placementFrom(get(kPlacementValue)))
        window_.restorePlacement(*placement, showCommand);
    std::array<int, 6> counts{};
    for (ListId id : kAllLists) counts[static_cast<size_t>(id)] = resultListColumns(id).count;
    window_.setColumnWidths(columnWidthsFrom(get(kColumnsValue), counts));
}

int Application::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) pump_.dispatch(msg);
    return static_cast<int>(msg.wParam);
}

void Application::onCommand(int controlId) {
    switch (controlId) {
        case IDC_cmdSnapShot:
            workflow_.cmdSnapShot_Click();
            break;
        case IDC_cmdReset:
            if (!unsaved_->mayDrop("Stop/Reset")) break;
            workflow_.cmdReset_Click();
            unsaved_->dropped();
            break;
        case IDC_cmdDetectChanges:
            workflow_.cmdDetectChanges_Click();
            break;
        case IDC_cmdFileSystemStart:
            workflow_.cmdFileSystemStart_Click();
            break;
        case IDC_cmdAdvanced:
            runHandler(reporter_, [&] {
                advanced_.show(window_.hwnd());
                pump_.addModeless(advanced_.hwnd(), advanced_.accelerators());
            });
            break;
        case IDM_mnuQuorvel:
            runHandler(reporter_, [&] {
                about_.show(window_.hwnd());
                pump_.addModeless(about_.hwnd());
            });
            break;
        case IDM_mnuSaveFirst:
            snapshots_->mnuSaveFirst_Click();
            break;
        case IDM_mnuOpenFirst:
            snapshots_->mnuOpenFirst_Click();
            break;
        case IDM_mnuExport:
            snapshots_->mnuExport_Click();
            break;
        default:
            break;
    }
}

}  // namespace qv
