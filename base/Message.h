#pragma once
// How the tools tell the user something. The format library reports every
// outcome through an IMessageSink: the windows show a message box, the
// command line prints a line, the tests record the box and answer from a
// script.

#include <optional>
#include <string>

namespace qorlu {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Information, Question };
enum class Answer { Ok, Yes, No };

// What the message says about the operation. The windows ignore it; the
// command line prints Success on stdout and everything else on stderr.
enum class Outcome { Success, Failure, Warning, Question };

struct Notice {
    std::string text;
    // No title: the box carries the program's name. A given title, even an
    // empty one, is shown as it stands.
    std::optional<std::string> title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // True: no owner window, above every window (the archive code and the
    // extraction job). False: owned by the window that runs the operation.
    bool systemModal = false;
    Outcome outcome = Outcome::Success;
};

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Shows the notice and returns the user's answer; Answer::Ok for OK boxes.
    virtual Answer Show(const Notice& notice) = 0;
};

// Boxes of a window: owned by it, the program's name as title, OK, no icon.
inline Notice WindowNotice(std::string text, Outcome outcome) {
    Notice n;
    n.text = std::move(text);
    n.outcome = outcome;
    return n;
}

// Boxes of the archive code and the extraction job: no owner, system-modal,
// a fixed title ("ERROR" or empty).
inline Notice SystemNotice(std::string text, std::string title, Outcome outcome, Icon icon = Icon::None) {
    Notice n;
    n.text = std::move(text);
    n.title = std::move(title);
    n.systemModal = true;
    n.icon = icon;
    n.outcome = outcome;
    return n;
}

// Texts of our own for a file that cannot be opened or read, or that was
// opened but not written completely; both name the path.
inline std::string CanNotReadFile(const std::string& path) { return "can not read file\n" + path; }
inline std::string CanNotWriteFile(const std::string& path) { return "can not write file\n" + path; }

} // namespace qorlu
