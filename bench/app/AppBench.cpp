// Drives whole programs on an X display (Xvfb with a window manager; scripts/bench sets it up)
// and times what a user waits for. Nothing inside the programs is changed or preloaded: the
// figures come from the X server's events and the process table.
//
//   pellora_bench_app startup [--runs N] LABEL_A PROGRAM_A LABEL_B PROGRAM_B
//     Starts A and B in turn (ABBA order), each from exec until its window is mapped and its
//     event loop is idle, then closes it as the window manager would (WM_DELETE_WINDOW).
//     "Idle" is two _NET_WM_PING round trips after the window was mapped: the program's event
//     loop has then handled everything that was queued before them, the first paint included.
//     Also reads the peak resident set (VmHWM) once idle and the process's max RSS at exit.
//
//   pellora_bench_app send [--runs N] [--message TEXT] [--data-dir DIR] -- COMMAND...
//     Starts COMMAND (Pellora, possibly through "ip netns exec"), types the message into the
//     focused message field with xdotool, points at the Send button and clicks it through the
//     XTEST extension, then times from the click until the process has ended. DIR (the data
//     folder) must gain one local copy per run.
//
//   pellora_bench_app receive [--runs N] [--idle-seconds S] --source IP --target IP -- COMMAND...
//     Starts COMMAND (the receiver, through "ip netns exec" into the namespace of the target
//     address; this program runs in the sender's namespace), waits until its window is mapped
//     and idle, and counts the context switches of all its threads over S seconds (every
//     wake-up, a timer's included). Then it maps a window of its own and has it activated, so
//     that the receiver's window is in the background and its title counts the unread
//     messages, and sends N Messenger datagrams one at a time from SOURCE:138 to TARGET:138.
//     Each is timed from just before sendto until the receiver's window title counts it (the
//     X server's PropertyNotify), and until two _NET_WM_PING round trips after that (its event
//     loop has then handled what the message queued, the repaint included). Last, it counts
//     the context switches over S seconds again, with the messages shown and the window in the
//     background, and closes the receiver as the window manager would.
//
// Prints "RESULT name value" lines (medians, milliseconds or KiB, and for start-up the median
// of the pairs' ratios A/B) for scripts/bench, and one line per run and per pair on stderr.
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Clock::time_point Deadline(double ms) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

pid_t Spawn(const std::vector<std::string>& args, const char* log) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits for `pid` to end, at most `timeoutMs`; fills `usage`. False on timeout (it is killed).
bool WaitExit(pid_t pid, double timeoutMs, rusage* usage, int* status) {
    const auto deadline = Deadline(timeoutMs);
    for (;;) {
        const pid_t done = wait4(pid, status, WNOHANG, usage);
        if (done == pid)
            return true;
        if (done < 0)
            return false;
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, status, 0, usage);
            return false;
        }
        usleep(200);
    }
}

bool RunQuiet(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args, "/dev/null");
    int status = 0;
    rusage usage{};
    return pid > 0 && WaitExit(pid, 10000, &usage, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long ProcStatusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    return -1;
}

// True when `pid` is `parent` or its child (a program started through strace or perf).
bool IsOrIsChildOf(pid_t pid, pid_t parent) {
    if (pid <= 0)
        return false;
    if (pid == parent)
        return true;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return false;
    int ppid = 0;
    char state = 0;
    return std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent;
}

// False once `pid` has ended (it is then a zombie until waited for).
bool Running(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

int CountFiles(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(d))
        if (entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && entry->d_name[1] != '.'))
            ++count;
    closedir(d);
    return count;
}

class Display {
public:
    bool Open() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_))
            return false;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        // Qt answers pings on the root window with the StructureNotify mask.
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        wmProtocols_ = Atom("WM_PROTOCOLS");
        ping_ = Atom("_NET_WM_PING");
        delete_ = Atom("WM_DELETE_WINDOW");
        pidAtom_ = Atom("_NET_WM_PID");
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c_, &xtestId_);
        hasXtest_ = xtest != nullptr && xtest->present;
        xcb_flush(c_);
        return true;
    }
    ~Display() {
        if (c_ != nullptr)
            xcb_disconnect(c_);
    }
    bool HasXtest() const { return hasXtest_; }

    // The top-level window of `pid`, once it is viewable (mapped, and so is the window manager's
    // frame around it); 0 when the process ends or time runs out.
    xcb_window_t WaitMapped(pid_t pid, double timeoutMs) {
        const auto deadline = Deadline(timeoutMs);
        std::vector<xcb_window_t> created;
        while (xcb_generic_event_t* event = Next(deadline, pid)) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                auto* create = reinterpret_cast<xcb_create_notify_event_t*>(event);
                if (!create->override_redirect) {
                    created.push_back(create->window);
                    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                    xcb_change_window_attributes(c_, create->window, XCB_CW_EVENT_MASK, &mask);
                }
            }
            std::free(event);
            if (type != XCB_CREATE_NOTIFY && type != XCB_MAP_NOTIFY)
                continue;
            // A window, or the frame around one, was mapped: is one of the program's windows
            // viewable now?
            for (const xcb_window_t window : created) {
                auto* attributes = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
                const bool viewable = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                std::free(attributes);
                if (viewable && IsOrIsChildOf(WindowPid(window), pid))
                    return window;
            }
        }
        return 0;
    }

    // One _NET_WM_PING round trip through the program's event loop.
    bool Ping(xcb_window_t window, pid_t pid, double timeoutMs) {
        const uint32_t token = ++token_;
        SendProtocol(window, ping_, token);
        const auto deadline = Deadline(timeoutMs);
        while (xcb_generic_event_t* event = Next(deadline, pid)) {
            bool answered = false;
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                answered = message->type == wmProtocols_ && message->data.data32[0] == ping_ &&
                           message->data.data32[1] == token;
            }
            std::free(event);
            if (answered)
                return true;
        }
        return false;
    }

    void Close(xcb_window_t window) { SendProtocol(window, delete_, XCB_CURRENT_TIME); }

    bool Geometry(xcb_window_t window, int* width, int* height) {
        auto* geometry = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
        if (geometry == nullptr)
            return false;
        *width = geometry->width;
        *height = geometry->height;
        std::free(geometry);
        return true;
    }

    // Presses and releases the first mouse button where the pointer is, as a user's click.
    void Click() {
        FakeInput(XCB_BUTTON_PRESS, 1);
        FakeInput(XCB_BUTTON_RELEASE, 1);
        xcb_flush(c_);
    }

    // Maps a small window of this program's own and has the window manager activate it.
    bool TakeFocus(double timeoutMs) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t window = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        const char title[] = "pellora_bench_app";
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof title - 1,
                            title);
        xcb_map_window(c_, window);
        const xcb_atom_t active = Atom("_NET_ACTIVE_WINDOW");
        const auto deadline = Deadline(timeoutMs);
        while (Clock::now() < deadline) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = active;
            message.data.data32[0] = 2; // a pager's request: honoured whatever the focus rules
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                           reinterpret_cast<const char*>(&message));
            xcb_flush(c_);
            usleep(50000);
            auto* reply =
                xcb_get_property_reply(c_, xcb_get_property(c_, 0, root_, active, XCB_ATOM_WINDOW, 0, 1), nullptr);
            const bool ours = reply != nullptr && xcb_get_property_value_length(reply) == 4 &&
                              *static_cast<uint32_t*>(xcb_get_property_value(reply)) == window;
            std::free(reply);
            if (ours)
                return true;
        }
        return false;
    }

    // PropertyNotify of `window` from now on (and its StructureNotify, as WaitMapped asked).
    void WatchProperties(xcb_window_t window) {
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }

    std::string Title(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 0, 1024), nullptr);
        std::string title;
        if (reply != nullptr)
            title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                         static_cast<size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
        return title;
    }

    // Waits until a change of `window`'s title makes `done` true; false at the deadline.
    template <typename Done> bool WaitTitle(xcb_window_t window, pid_t pid, Clock::time_point deadline, Done done) {
        const xcb_atom_t netName = Atom("_NET_WM_NAME");
        while (xcb_generic_event_t* event = Next(deadline, pid)) {
            bool changed = false;
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                changed = notify->window == window && (notify->atom == netName || notify->atom == XCB_ATOM_WM_NAME);
            }
            std::free(event);
            if (changed && done(Title(window)))
                return true;
        }
        return false;
    }

    // True when a system tray (an XEmbed one: the owner of _NET_SYSTEM_TRAY_S0) runs on the display.
    bool HasTray() {
        auto* reply =
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, Atom("_NET_SYSTEM_TRAY_S0")), nullptr);
        const bool owned = reply != nullptr && reply->owner != XCB_NONE;
        std::free(reply);
        return owned;
    }

    // Drops the events of earlier runs.
    void Drain() {
        xcb_flush(c_);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_))
            std::free(event);
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto* reply =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }

    pid_t WindowPid(xcb_window_t window) {
        auto* reply =
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = -1;
        if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    void SendProtocol(xcb_window_t window, xcb_atom_t protocol, uint32_t value) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = wmProtocols_;
        message.data.data32[0] = protocol;
        message.data.data32[1] = value;
        message.data.data32[2] = window;
        xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(c_);
    }

    // XTEST FakeInput (the request xdotool's clicks use), sent without libxcb-xtest.
    void FakeInput(uint8_t type, uint8_t detail) {
        struct Request {
            uint8_t majorOpcode, minorOpcode;
            uint16_t length;
            uint8_t type, detail, pad0[2];
            uint32_t time, root;
            uint8_t pad1[8];
            int16_t rootX, rootY;
            uint8_t pad2[7], deviceId;
        } request{};
        static_assert(sizeof(Request) == 36);
        request.type = type;
        request.detail = detail;
        request.root = XCB_NONE;
        iovec parts[3];
        parts[2].iov_base = &request;
        parts[2].iov_len = sizeof request;
        static const xcb_protocol_request_t kFakeInput = {1, &xtestId_, 2, 1};
        xcb_send_request(c_, 0, parts + 2, &kFakeInput);
    }

    // The next event; nullptr at the deadline, when the connection breaks or `pid` ended.
    xcb_generic_event_t* Next(Clock::time_point deadline, pid_t pid) {
        xcb_flush(c_);
        for (;;) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(c_))
                return event;
            if (xcb_connection_has_error(c_) || Clock::now() > deadline)
                return nullptr;
            if (pid > 0 && !Running(pid))
                return nullptr;
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            poll(&fd, 1, 2);
        }
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t wmProtocols_ = 0, ping_ = 0, delete_ = 0, pidAtom_ = 0;
    uint32_t token_ = 0x5EED0000;
    bool hasXtest_ = false;
    static inline xcb_extension_t xtestId_ = {"XTEST", 0};
};

struct StartRun {
    bool ok = false;
    double mappedMs = 0, idleMs = 0;
    long hwmKb = 0, maxRssKb = 0;
    double cpuMs = 0; // user + system time of the whole run, closing included
};

StartRun StartOnce(Display& display, const std::string& program, const char* log) {
    StartRun run;
    display.Drain();
    const auto start = Clock::now();
    const pid_t pid = Spawn({program}, log);
    if (pid <= 0)
        return run;
    const xcb_window_t window = display.WaitMapped(pid, 20000);
    const auto mapped = Clock::now();
    bool idle = window != 0 && display.Ping(window, pid, 20000) && display.Ping(window, pid, 20000);
    const auto idleAt = Clock::now();
    if (!idle)
        std::fprintf(stderr, "  %s: %s\n", program.c_str(), window == 0 ? "no window mapped" : "no answer to a ping");
    if (idle) {
        run.mappedMs = Ms(mapped - start);
        run.idleMs = Ms(idleAt - start);
        run.hwmKb = ProcStatusKb(pid, "VmHWM");
        display.Close(window);
    }
    rusage usage{};
    int status = 0;
    const bool ended = WaitExit(pid, 10000, &usage, &status);
    run.maxRssKb = usage.ru_maxrss;
    run.cpuMs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    run.ok = idle && ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int Startup(int runs, const std::string labels[2], const std::string programs[2], const char* log) {
    Display display;
    if (!display.Open()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    // One start of each first, not counted: it warms the file cache and makes the data folder.
    for (int i = 0; i < 2; ++i)
        StartOnce(display, programs[i], log);
    std::vector<double> idle[2], mapped[2], hwm[2], maxRss[2], cpu[2], ratios, hwmRatios;
    int failures[2] = {0, 0};
    for (int r = 0; r < runs; ++r) {
        double pair[2] = {0, 0}, pairHwm[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const int i = (r % 2 == 0) ? k : 1 - k; // A B, B A, A B...
            const StartRun run = StartOnce(display, programs[i], log);
            std::fprintf(
                stderr,
                "startup %-8s run %2d: %s mapped %7.1f ms idle %7.1f ms  VmHWM %6ld KiB maxrss %6ld KiB cpu %6.1f ms\n",
                labels[i].c_str(), r, run.ok ? "ok  " : "FAIL", run.mappedMs, run.idleMs, run.hwmKb, run.maxRssKb,
                run.cpuMs);
            if (!run.ok) {
                ++failures[i];
                continue;
            }
            idle[i].push_back(run.idleMs);
            mapped[i].push_back(run.mappedMs);
            hwm[i].push_back(static_cast<double>(run.hwmKb));
            maxRss[i].push_back(static_cast<double>(run.maxRssKb));
            cpu[i].push_back(run.cpuMs);
            pair[i] = run.idleMs;
            pairHwm[i] = static_cast<double>(run.hwmKb);
            usleep(50000);
        }
        if (pair[0] > 0 && pair[1] > 0)
            ratios.push_back(pair[0] / pair[1]);
        if (pairHwm[0] > 0 && pairHwm[1] > 0)
            hwmRatios.push_back(pairHwm[0] / pairHwm[1]);
        if (pair[0] > 0 && pair[1] > 0)
            std::fprintf(stderr, "startup pair %3d: idle ratio %.3f  VmHWM ratio %.3f\n", r, ratios.back(),
                         pairHwm[1] > 0 ? pairHwm[0] / pairHwm[1] : 0.0);
    }
    for (int i = 0; i < 2; ++i) {
        const char* l = labels[i].c_str();
        std::printf("RESULT startup_idle_ms_%s %.2f\n", l, Median(idle[i]));
        std::printf("RESULT startup_idle_min_ms_%s %.2f\n", l, Percentile(idle[i], 0));
        std::printf("RESULT startup_idle_p90_ms_%s %.2f\n", l, Percentile(idle[i], 0.9));
        std::printf("RESULT startup_mapped_ms_%s %.2f\n", l, Median(mapped[i]));
        std::printf("RESULT cpu_ms_%s %.1f\n", l, Median(cpu[i]));
        std::printf("RESULT vmhwm_kb_%s %.0f\n", l, Median(hwm[i]));
        std::printf("RESULT maxrss_kb_%s %.0f\n", l, Median(maxRss[i]));
        std::printf("RESULT startup_runs_%s %zu\n", l, idle[i].size());
        std::printf("RESULT startup_failures_%s %d\n", l, failures[i]);
    }
    // The goals' statistic: the median of the ratios of the pairs (A and B started one after
    // the other), which a drift of the machine's load touches far less than a ratio of medians.
    std::printf("RESULT startup_pair_ratio_%s_%s %.3f\n", labels[0].c_str(), labels[1].c_str(), Median(ratios));
    std::printf("RESULT vmhwm_pair_ratio_%s_%s %.3f\n", labels[0].c_str(), labels[1].c_str(), Median(hwmRatios));
    std::printf("RESULT startup_pairs_%s_%s %zu\n", labels[0].c_str(), labels[1].c_str(), ratios.size());
    return failures[0] + failures[1] == 0 ? 0 : 2;
}

int Send(int runs, const std::string& message, const std::string& dataDir, const std::vector<std::string>& command,
         const char* log) {
    Display display;
    if (!display.Open()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    if (!display.HasXtest()) {
        std::fprintf(stderr, "the X server has no XTEST extension\n");
        return 1;
    }
    std::vector<double> times;
    int failures = 0;
    for (int r = -1; r < runs; ++r) { // run -1 warms up and is not counted
        display.Drain();
        const int filesBefore = dataDir.empty() ? 0 : CountFiles(dataDir);
        const pid_t pid = Spawn(command, log);
        const xcb_window_t window = pid > 0 ? display.WaitMapped(pid, 20000) : 0;
        int width = 0, height = 0;
        bool ready = window != 0 && display.Ping(window, pid, 20000) && display.Geometry(window, &width, &height);
        if (ready) {
            const std::string id = std::to_string(window);
            // Send sits at 4140..5655 x 4320..4755 twips of the 5775 x 4875 twips window.
            const std::string x = std::to_string(width * 4897 / 5775), y = std::to_string(height * 4537 / 4875);
            ready = RunQuiet({"xdotool", "windowactivate", "--sync", id}) &&
                    RunQuiet({"xdotool", "type", "--delay", "4", message + " " + std::to_string(r + 1)}) &&
                    RunQuiet({"xdotool", "mousemove", "--window", id, x, y}) && display.Ping(window, pid, 20000) &&
                    display.Ping(window, pid, 20000);
        }
        double ms = 0;
        bool ok = false;
        rusage usage{};
        int status = 0;
        if (ready) {
            const auto start = Clock::now();
            display.Click();
            ok = WaitExit(pid, 15000, &usage, &status);
            ms = Ms(Clock::now() - start);
            ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        } else if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        const int filesAfter = dataDir.empty() ? 1 : CountFiles(dataDir);
        // One new local copy, unless this run gave the settings and histories files their first save.
        ok = ok && filesAfter > filesBefore;
        std::fprintf(stderr, "send run %2d: %s %7.1f ms (data folder: %d -> %d files)\n", r, ok ? "ok  " : "FAIL", ms,
                     filesBefore, filesAfter);
        if (r < 0)
            continue;
        if (ok)
            times.push_back(ms);
        else
            ++failures;
        usleep(50000);
    }
    std::printf("RESULT send_ms %.2f\n", Median(times));
    std::printf("RESULT send_min_ms %.2f\n", Percentile(times, 0));
    std::printf("RESULT send_p90_ms %.2f\n", Percentile(times, 0.9));
    std::printf("RESULT send_runs %zu\n", times.size());
    std::printf("RESULT send_failures %d\n", failures);
    return failures == 0 ? 0 : 2;
}

// The context switches of each thread of `pid` (voluntary and not): every time a thread slept
// and was woken, or was taken off the processor.
std::map<int, std::pair<std::string, long>> ContextSwitches(pid_t pid) {
    std::map<int, std::pair<std::string, long>> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(tasks.c_str());
    if (d == nullptr)
        return threads;
    while (dirent* entry = readdir(d)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream in(tasks + "/" + entry->d_name + "/status");
        std::string line, name;
        long count = 0;
        while (std::getline(in, line)) {
            if (line.compare(0, 5, "Name:") == 0)
                name = line.substr(line.find_first_not_of(" \t", 5));
            else if (line.find("ctxt_switches:") != std::string::npos)
                count += std::atol(line.c_str() + line.find(':') + 1);
        }
        threads[std::atoi(entry->d_name)] = {name, count};
    }
    closedir(d);
    return threads;
}

// The UDP datagrams that the programs of `pid`'s network namespace have read (Udp InDatagrams of
// /proc/PID/net/snmp); -1 when it cannot be read.
long UdpDatagramsRead(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/net/snmp");
    std::string line;
    bool header = false;
    while (std::getline(in, line)) {
        if (line.compare(0, 4, "Udp:") != 0)
            continue;
        if (!header) {
            header = true;
            continue;
        }
        long inDatagrams = -1;
        return std::sscanf(line.c_str(), "Udp: %ld", &inDatagrams) == 1 ? inDatagrams : -1;
    }
    return -1;
}

// The wake-ups of all of `pid`'s threads over `seconds` in which nothing is asked of it. A datagram
// that reaches it wakes it as it should, so the datagrams read in its namespace meanwhile are
// counted too (`datagrams`): a wake-up count means "no timer" only beside 0 datagrams.
long IdleWakeups(pid_t pid, double seconds, const char* what, long* datagrams) {
    const auto before = ContextSwitches(pid);
    const long readBefore = UdpDatagramsRead(pid);
    usleep(static_cast<useconds_t>(seconds * 1e6));
    const auto after = ContextSwitches(pid);
    const long readAfter = UdpDatagramsRead(pid);
    *datagrams = readBefore < 0 || readAfter < 0 ? -1 : readAfter - readBefore;
    long total = 0;
    for (const auto& [tid, thread] : after) {
        const auto was = before.find(tid);
        const long woken = thread.second - (was != before.end() ? was->second.second : 0);
        total += woken;
        std::fprintf(stderr, "idle %s: thread %d (%s): %ld context switches in %.0f s\n", what, tid,
                     thread.first.c_str(), woken, seconds);
    }
    std::fprintf(stderr,
                 "idle %s: %zu threads, %ld context switches in %.0f s; %ld UDP datagrams read in its namespace\n",
                 what, after.size(), total, seconds, *datagrams);
    return total;
}

void Put16(std::string& out, unsigned value, bool little) {
    const char a = static_cast<char>(value & 0xff), b = static_cast<char>((value >> 8) & 0xff);
    out += little ? a : b;
    out += little ? b : a;
}

std::string EncodedName(const std::string& name) {
    std::string padded = name;
    padded.resize(15, ' ');
    padded += '\0';
    std::string out(1, '\x20');
    for (const unsigned char c : padded) {
        out += static_cast<char>('A' + (c >> 4));
        out += static_cast<char>('A' + (c & 0x0f));
    }
    out += '\0';
    return out;
}

// One Messenger datagram (a Direct_unique NetBIOS datagram carrying an SMB Transaction to
// \MAILSLOT\MESSNGR) from BENCH at `source` to PC7, as Windows' Messenger sends them.
std::string MessengerDatagram(in_addr source, const std::string& text) {
    const std::string slot = "\\MAILSLOT\\MESSNGR";
    const std::string data = std::string("Bench\0Bob\0", 10) + text + '\0';
    const size_t before = 32 + 1 + 34 + 2 + slot.size() + 1;
    const size_t pad = (4 - before % 4) % 4;
    const unsigned offset = static_cast<unsigned>(before + pad), length = static_cast<unsigned>(data.size());
    std::string smb("\xffSMB\x25", 5);
    smb += std::string(4, '\0') + std::string("\x18\x04\x00", 3) + std::string(14, '\0') + "\xff\xfe" +
           std::string(4, '\0');
    smb += '\x11'; // 17 parameter words
    Put16(smb, 0, true);
    Put16(smb, length, true);
    Put16(smb, 2, true);
    Put16(smb, 0, true);
    smb += std::string(2, '\0');
    Put16(smb, 2, true);
    smb += std::string(6, '\0');
    Put16(smb, 0, true);
    Put16(smb, offset, true);
    Put16(smb, length, true);
    Put16(smb, offset, true);
    smb += std::string("\x03\x00", 2);
    Put16(smb, 1, true); // opcode: mailslot write
    smb += std::string(2, '\0');
    Put16(smb, 2, true); // class 2
    Put16(smb, static_cast<unsigned>(slot.size() + 1 + pad + data.size()), true);
    smb += slot + '\0' + std::string(pad, '\0') + data;
    const std::string body = EncodedName("BENCH") + EncodedName("PC7") + smb;
    std::string out("\x10\x02\x80\x01", 4);
    out.append(reinterpret_cast<const char*>(&source.s_addr), 4);
    Put16(out, 138, false);
    Put16(out, static_cast<unsigned>(body.size()), false);
    Put16(out, 0, false);
    return out + body;
}

// The unread count in a title "Pellora Receiver (N unread)"; 0 without one.
int Unread(const std::string& title) {
    const size_t open = title.rfind('(');
    return open == std::string::npos ? 0 : std::atoi(title.c_str() + open + 1);
}

int Receive(int runs, double idleSeconds, const std::string& sourceIp, const std::string& targetIp,
            const std::vector<std::string>& command, const char* log) {
    Display display;
    if (!display.Open()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    sockaddr_in source{}, target{};
    source.sin_family = target.sin_family = AF_INET;
    source.sin_port = target.sin_port = htons(138);
    if (inet_pton(AF_INET, sourceIp.c_str(), &source.sin_addr) != 1 ||
        inet_pton(AF_INET, targetIp.c_str(), &target.sin_addr) != 1) {
        std::fprintf(stderr, "bad --source or --target\n");
        return 64;
    }
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0 || bind(sock, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
        std::perror("UDP port 138 of the source");
        return 1;
    }
    const pid_t pid = Spawn(command, log);
    const xcb_window_t window = pid > 0 ? display.WaitMapped(pid, 30000) : 0;
    if (window == 0 || !display.Ping(window, pid, 20000) || !display.Ping(window, pid, 20000)) {
        std::fprintf(stderr, "the receiver's window did not appear (see its log)\n");
        if (pid > 0)
            kill(pid, SIGKILL);
        return 1;
    }
    usleep(1000000); // settles: whatever the start left queued is done
    long datagramsStart = -1, datagramsAfter = -1;
    const long idleStart = IdleWakeups(pid, idleSeconds, "after start", &datagramsStart);

    bool ok = display.TakeFocus(10000);
    if (!ok)
        std::fprintf(stderr, "could not move the focus away from the receiver's window\n");
    display.WatchProperties(window);
    // Qt takes a window for inactive a while after its FocusOut (it waits for a FocusIn that
    // may follow); until then a message counts as read at once and the title does not change.
    usleep(1000000);
    ok = ok && display.Ping(window, pid, 20000) && display.Ping(window, pid, 20000);
    int shown = Unread(display.Title(window));
    std::vector<double> titleMs, idleMs;
    int failures = 0;
    for (int r = 0; ok && r < runs; ++r) {
        usleep(50000); // each message reaches an idle receiver
        display.Drain();
        const std::string datagram = MessengerDatagram(source.sin_addr, "Benchmark message " + std::to_string(r + 1));
        const int want = shown + 1;
        const auto start = Clock::now();
        const bool sent = sendto(sock, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&target),
                                 sizeof target) == static_cast<ssize_t>(datagram.size());
        const bool titled = sent && display.WaitTitle(window, pid, Deadline(5000),
                                                      [want](const std::string& t) { return Unread(t) >= want; });
        const auto titledAt = Clock::now();
        const bool idle = titled && display.Ping(window, pid, 5000) && display.Ping(window, pid, 5000);
        const auto idleAt = Clock::now();
        shown = Unread(display.Title(window));
        std::fprintf(stderr, "receive run %3d: %s title %7.2f ms  title and idle %7.2f ms  (title: %s)\n", r,
                     idle ? "ok  " : "FAIL", Ms(titledAt - start), Ms(idleAt - start), display.Title(window).c_str());
        if (!idle) {
            ++failures;
            if (!Running(pid))
                break;
            continue;
        }
        titleMs.push_back(Ms(titledAt - start));
        idleMs.push_back(Ms(idleAt - start));
    }
    long idleAfter = -1;
    if (Running(pid)) {
        usleep(1000000);
        idleAfter = IdleWakeups(pid, idleSeconds, "after the messages", &datagramsAfter);
    }
    const long hwm = ProcStatusKb(pid, "VmHWM");
    display.Close(window);
    rusage usage{};
    int status = 0;
    const bool ended = WaitExit(pid, 10000, &usage, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ended)
        std::fprintf(stderr, "the receiver did not end cleanly when its window was closed\n");
    close(sock);
    std::printf("RESULT receive_shown_ms %.2f\n", Median(idleMs));
    std::printf("RESULT receive_shown_min_ms %.2f\n", Percentile(idleMs, 0));
    std::printf("RESULT receive_shown_p90_ms %.2f\n", Percentile(idleMs, 0.9));
    std::printf("RESULT receive_shown_max_ms %.2f\n", Percentile(idleMs, 1));
    std::printf("RESULT receive_title_ms %.2f\n", Median(titleMs));
    std::printf("RESULT receive_runs %zu\n", idleMs.size());
    std::printf("RESULT receive_failures %d\n", failures + (ok ? 0 : runs));
    std::printf("RESULT receive_idle_seconds %.0f\n", idleSeconds);
    std::printf("RESULT receive_idle_wakeups_start %ld\n", idleStart);
    std::printf("RESULT receive_idle_datagrams_start %ld\n", datagramsStart);
    if (idleAfter >= 0) {
        std::printf("RESULT receive_idle_wakeups_after %ld\n", idleAfter);
        std::printf("RESULT receive_idle_datagrams_after %ld\n", datagramsAfter);
    }
    std::printf("RESULT receive_vmhwm_kb_after %ld\n", hwm);
    std::printf("RESULT receive_tray_host %d\n", display.HasTray() ? 1 : 0);
    return ok && failures == 0 && ended ? 0 : 2;
}

int Usage() {
    std::fprintf(stderr, "usage: pellora_bench_app startup [--runs N] LABEL_A PROGRAM_A LABEL_B PROGRAM_B\n"
                         "       pellora_bench_app send [--runs N] [--message TEXT] [--data-dir DIR] -- COMMAND...\n"
                         "       pellora_bench_app receive [--runs N] [--idle-seconds S] --source IP --target IP -- "
                         "COMMAND...\n");
    return 64;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    const std::string mode = args[0];
    int runs = 20;
    std::string message = "Benchmark message", dataDir, source, target;
    double idleSeconds = 10;
    const char* log = std::getenv("PELLORA_BENCH_LOG") != nullptr ? std::getenv("PELLORA_BENCH_LOG") : "/dev/null";
    size_t i = 1;
    for (; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::clamp(std::atoi(args[++i].c_str()), 1, 5000);
        else if (args[i] == "--message" && i + 1 < args.size())
            message = args[++i];
        else if (args[i] == "--data-dir" && i + 1 < args.size())
            dataDir = args[++i];
        else if (args[i] == "--idle-seconds" && i + 1 < args.size())
            idleSeconds = std::clamp(std::atof(args[++i].c_str()), 1.0, 600.0);
        else if (args[i] == "--source" && i + 1 < args.size())
            source = args[++i];
        else if (args[i] == "--target" && i + 1 < args.size())
            target = args[++i];
        else if (args[i] == "--") {
            ++i;
            break;
        } else
            break;
    }
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
    if (mode == "startup" && rest.size() == 4) {
        const std::string labels[2] = {rest[0], rest[2]}, programs[2] = {rest[1], rest[3]};
        return Startup(runs, labels, programs, log);
    }
    if (mode == "send" && !rest.empty())
        return Send(runs, message, dataDir, rest, log);
    if (mode == "receive" && !rest.empty() && !source.empty() && !target.empty())
        return Receive(runs, idleSeconds, source, target, rest, log);
    return Usage();
}
