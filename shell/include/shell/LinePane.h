// An append-only list of text lines: the two log panes of the main object.
// A window or a console follows a pane through its observers. A pane keeps
// only its last MaxLines lines in memory (the service runs for months); its
// observers - the console, the window - still see every line.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace shell {

class TLinePane {
public:
    using LineObserver = std::function<void(const std::string& line)>;
    using ClearObserver = std::function<void()>;

    static constexpr size_t MaxLines = 10000;

    explicit TLinePane(std::string name) : FName(std::move(name)) {}
    TLinePane(const TLinePane&) = delete;
    TLinePane& operator=(const TLinePane&) = delete;

    // "Memo1" or "mmOrdemTecel".
    const std::string& Name() const { return FName; }

    // Appends one line (UTF-8), drops the oldest one beyond MaxLines, and
    // tells every observer.
    void Add(const std::string& line);
    // Removes every line (only the start-up does this, on Memo1).
    void Clear();

    const std::vector<std::string>& Lines() const { return FLines; }
    size_t Count() const { return FLines.size(); }
    // Lines joined with '\n', no trailing line feed.
    std::string Text() const;

    // Observers are called in the order they were added; returns an id.
    int AddObserver(LineObserver onLine, ClearObserver onClear = {});
    void RemoveObserver(int id);

private:
    struct Observer {
        int id;
        LineObserver onLine;
        ClearObserver onClear;
    };
    std::string FName;
    std::vector<std::string> FLines;
    std::vector<Observer> FObservers;
    int FNextId = 1;
};

}  // namespace shell
