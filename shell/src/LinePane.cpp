#include "shell/LinePane.h"

#include <algorithm>

namespace shell {

void TLinePane::Add(const std::string& line) {
    FLines.push_back(line);
    // A vector (its callers index and compare it); dropping its first
    // element moves 10,000 small strings, a few microseconds per line.
    if (FLines.size() > MaxLines) FLines.erase(FLines.begin());
    // Copy: an observer may add or remove observers.
    auto observers = FObservers;
    for (auto& o : observers)
        if (o.onLine) o.onLine(line);
}

void TLinePane::Clear() {
    FLines.clear();
    auto observers = FObservers;
    for (auto& o : observers)
        if (o.onClear) o.onClear();
}

std::string TLinePane::Text() const {
    std::string text;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (i) text += '\n';
        text += FLines[i];
    }
    return text;
}

int TLinePane::AddObserver(LineObserver onLine, ClearObserver onClear) {
    int id = FNextId++;
    FObservers.push_back({id, std::move(onLine), std::move(onClear)});
    return id;
}

void TLinePane::RemoveObserver(int id) {
    FObservers.erase(std::remove_if(FObservers.begin(), FObservers.end(),
                                    [id](const Observer& o) { return o.id == id; }),
                     FObservers.end());
}

}  // namespace shell
