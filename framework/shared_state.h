#pragma once
// The two references every command and dialog shares. Everything runs on one thread.

namespace ondu {

class IApplication;
class IDocument;

/// The host application: set by every command's OnCreate (the last one wins).
extern IApplication* g_pApp;
/// The current map document: set by each dialog's load handler, released by several dialogs.
extern IDocument* g_pMxDoc;
/// Set by a run that completed but left some of its items undone (points out of reach of any
/// line), so that a host can tell it from a complete run; hosts clear it before each click.
extern bool g_itemsLeftUndone;

/// What a dialog's load does first: g_pMxDoc set to the application's document. Throws
/// HostError (91) when no application has been handed over.
IDocument* loadMapDocument();

/// Clears both shared references when it goes, so that neither outlives the application and
/// document it names, whatever leaves the scope.
class SharedReferencesScope {
public:
    SharedReferencesScope() = default;
    ~SharedReferencesScope();
    SharedReferencesScope(const SharedReferencesScope&) = delete;
    SharedReferencesScope& operator=(const SharedReferencesScope&) = delete;
};

/// The map document a dialog loaded. Throws HostError (91) when there is none (its load failed).
IDocument& currentDocument();

}  // namespace ondu
