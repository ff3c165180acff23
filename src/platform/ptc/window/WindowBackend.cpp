// The SDL2 window. The console's frame goes into a streaming texture that the renderer stretches
// over the window; the renderer's logical size keeps the aspect and draws black borders.

#include "platform/ptc/window/WindowBackend.h"

#include "platform/ptc/Error.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ptc {

namespace {

struct KeyName {
    Key key;
    SDL_Keycode sym;
};

constexpr KeyName keyNames[] = {
    {Key::Space, SDLK_SPACE},       {Key::Left, SDLK_LEFT},       {Key::Right, SDLK_RIGHT},
    {Key::PageUp, SDLK_PAGEUP},     {Key::PageDown, SDLK_PAGEDOWN}, {Key::Period, SDLK_PERIOD},
    {Key::Home, SDLK_HOME},         {Key::Escape, SDLK_ESCAPE},   {Key::Q, SDLK_q},
};

[[noreturn]] void throwSdlError(const std::string& what) {
    throw DynamicError(what + ": " + SDL_GetError());
}

bool environmentNames(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// SDL falls back to drivers that draw into memory when no display answers; a window there is
// never seen, and a show without --seconds would run unseen until killed. Someone who names a
// driver in the environment gets it.
bool drawsNowhere(const char* driver) {
    return driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

std::string displaysTried() {
    std::string tried;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (environmentNames(variable))
            tried += std::string(tried.empty() ? "" : ", ") + variable + "=" + std::getenv(variable);
    return tried.empty() ? "neither DISPLAY nor WAYLAND_DISPLAY is set" : tried + " does not answer";
}

// Xlib's answer to a lost display connection (the server killed, the window's connection cut)
// is exit(1) from inside whatever call noticed it. Said in our words instead, and through exit
// still, whose clean-up stops the music's threads before the process ends.
int onDisplayLost(void*) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "velmora: lost the connection to the display%s%s%s\n", display ? " (" : "",
                 display ? display : "", display ? ")" : "");
    std::exit(1);
}

void catchLostDisplay() {
    static bool installed = false;
    if (installed)
        return;
    // libX11 is already loaded when SDL uses X11; nothing to do otherwise.
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib)
        return;
    using Handler = int (*)(void*);
    auto setHandler = reinterpret_cast<Handler (*)(Handler)>(dlsym(xlib, "XSetIOErrorHandler"));
    if (setHandler)
        setHandler(onDisplayLost);
    installed = true;
}

// The OpenGL renderer's name ("llvmpipe (LLVM 15.0.6, 256 bits)"), "" for a renderer not over
// OpenGL. The renderer's context is the current one right after it is made.
std::string openGlRenderer(SDL_Renderer* renderer) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
        return {};
    using GetString = const unsigned char* (*)(unsigned int);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    constexpr unsigned int glRenderer = 0x1F01;
    const unsigned char* name = getString ? getString(glRenderer) : nullptr;
    return name ? reinterpret_cast<const char*>(name) : "";
}

// Mesa's processor-drawn OpenGL: stretching the frame through it costs more than drawing it.
bool isSoftwareOpenGl(const std::string& name) {
    for (const char* software : {"llvmpipe", "softpipe", "swrast"})
        if (name.find(software) != std::string::npos)
            return true;
    return false;
}

} // namespace

struct WindowBackend::State {
    WindowOptions options;
    bool videoStarted = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    // The OpenGL renderer's name when SDL's default renderer draws through OpenGL.
    std::string openGlName;
    int width = 0;
    int height = 0;

    void destroyWindow() {
        if (texture)
            SDL_DestroyTexture(texture);
        if (renderer)
            SDL_DestroyRenderer(renderer);
        if (window)
            SDL_DestroyWindow(window);
        texture = nullptr;
        renderer = nullptr;
        window = nullptr;
    }

    // Clears the window to black and draws the last frame into it (not yet shown).
    void draw() {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    }
};

WindowBackend::WindowBackend(const WindowOptions& options) : state(std::make_unique<State>()) {
    state->options = options;
    state->options.scale = std::max(1, options.scale);
}

WindowBackend::~WindowBackend() {
    close();
}

std::vector<Mode> WindowBackend::modes() const {
    return {Mode(512, 384, Format(32, 0xFF0000, 0x00FF00, 0x0000FF))};
}

void WindowBackend::open(const std::string& title, int width, int height, const Format&) {
    close();
    startVideo();
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0)
        catchLostDisplay();

    // Scaled pixels stay sharp squares.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // The software renderer draws into the window's own surface; SDL would otherwise show that
    // surface through an OpenGL texture, which on a machine without a graphics card (a virtual
    // display) costs more processor time than the whole show.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    Uint32 flags = SDL_WINDOW_RESIZABLE;
    if (state->options.fullscreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    int scale = state->options.scale;
    state->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     width * scale, height * scale, flags);
    if (!state->window) {
        std::string message = std::string("cannot open a window: ") + SDL_GetError();
        close();
        throw DynamicError(message);
    }
    Uint32 vsync = state->options.vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
    state->renderer = SDL_CreateRenderer(state->window, -1, vsync);
    if (state->renderer) {
        state->openGlName = openGlRenderer(state->renderer);
        if (isSoftwareOpenGl(state->openGlName) && !environmentNames("SDL_RENDER_DRIVER")) {
            SDL_DestroyRenderer(state->renderer);
            state->renderer = nullptr;
        }
    }
    if (!state->renderer)
        state->renderer = SDL_CreateRenderer(state->window, -1, SDL_RENDERER_SOFTWARE | vsync);
    if (state->renderer)
        state->texture = SDL_CreateTexture(state->renderer, SDL_PIXELFORMAT_RGB888,
                                           SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!state->renderer || !state->texture ||
        SDL_RenderSetLogicalSize(state->renderer, width, height) != 0) {
        std::string message = std::string("cannot draw into the window: ") + SDL_GetError();
        close();
        throw DynamicError(message);
    }
    state->width = width;
    state->height = height;
    SDL_ShowCursor(state->options.fullscreen ? SDL_DISABLE : SDL_ENABLE);
    // Show black at once rather than whatever the desktop had there.
    state->draw();
    SDL_RenderPresent(state->renderer);
}

// An X server refuses connections for a moment while it resets after its last client left, so
// a display that does not answer is asked a few times before the window is refused.
void WindowBackend::startVideo() {
    constexpr int attempts = 5;
    for (int attempt = 1;; ++attempt) {
        // Counted by SDL, so an audio output started elsewhere keeps its own share.
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            throwSdlError("cannot start the display");
        state->videoStarted = true;
        if (!drawsNowhere(SDL_GetCurrentVideoDriver()) || environmentNames("SDL_VIDEODRIVER"))
            break;
        close();
        if (attempt == attempts)
            throw DynamicError("no display to open a window on (" + displaysTried() +
                               "); --record, --png-dir or --headless render without one");
        SDL_Delay(100);
    }
}

void WindowBackend::close() {
    state->destroyWindow();
    if (state->videoStarted) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        state->videoStarted = false;
    }
}

void WindowBackend::present(const std::uint32_t* pixels, int width, int height) {
    if (!state->texture || width != state->width || height != state->height)
        throw DynamicError("frame does not fit the window");
    if (SDL_UpdateTexture(state->texture, nullptr, pixels, width * 4) != 0)
        throwSdlError("cannot update the window");
    state->draw();
    SDL_RenderPresent(state->renderer);
    // Keeps the window responsive while frames are drawn between key tests (during loading).
    SDL_PumpEvents();
}

bool WindowBackend::presentsWithVsync() const {
    SDL_RendererInfo info{};
    if (!state->renderer || SDL_GetRendererInfo(state->renderer, &info) != 0)
        return false;
    return (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
}

std::string WindowBackend::rendererName() const {
    SDL_RendererInfo info{};
    if (!state->renderer || SDL_GetRendererInfo(state->renderer, &info) != 0)
        return {};
    std::string name = info.name;
    if (!state->openGlName.empty())
        name += std::string(name == "software" ? " (instead of OpenGL on " : " (") + state->openGlName + ")";
    return name;
}

int WindowBackend::refreshRate() const {
    SDL_DisplayMode mode{};
    if (!state->window || SDL_GetWindowDisplayMode(state->window, &mode) != 0)
        return 0;
    return mode.refresh_rate;
}

std::vector<Key> WindowBackend::takeKeys() {
    std::vector<Key> keys;
    if (!state->window)
        return keys;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYDOWN) {
            Key key = Key::Other;
            for (const KeyName& name : keyNames)
                if (name.sym == event.key.keysym.sym)
                    key = name.key;
            keys.push_back(key);
        } else if (event.type == SDL_QUIT ||
                   (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
            keys.push_back(Key::Close);
        }
    }
    return keys;
}

bool WindowBackend::keyPressed() {
    if (!state->window)
        return false;
    bool pressed = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYDOWN || event.type == SDL_QUIT)
            pressed = true;
        else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)
            pressed = true;
    }
    return pressed;
}

std::vector<std::uint32_t> WindowBackend::readBack(int& outputWidth, int& outputHeight) {
    outputWidth = outputHeight = 0;
    if (!state->renderer)
        throw DynamicError("the window is not open");
    SDL_PumpEvents();
    if (SDL_GetRendererOutputSize(state->renderer, &outputWidth, &outputHeight) != 0)
        throwSdlError("cannot read the window's size");
    state->draw();
    // Reading the whole output needs the logical scaling off, else the rectangle is in logical units.
    SDL_RenderSetLogicalSize(state->renderer, 0, 0);
    SDL_RenderSetScale(state->renderer, 1.0f, 1.0f);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(outputWidth) * outputHeight);
    int result = SDL_RenderReadPixels(state->renderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(),
                                      outputWidth * 4);
    SDL_RenderSetLogicalSize(state->renderer, state->width, state->height);
    if (result != 0)
        throwSdlError("cannot read the window's pixels");
    for (std::uint32_t& pixel : pixels)
        pixel &= 0xFFFFFF;
    return pixels;
}

void WindowBackend::resize(int windowWidth, int windowHeight) {
    if (!state->window)
        throw DynamicError("the window is not open");
    SDL_SetWindowSize(state->window, windowWidth, windowHeight);
    // The display server answers in its own time; wait (briefly) until the renderer sees it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        SDL_PumpEvents();
        int width = 0, height = 0;
        SDL_GetRendererOutputSize(state->renderer, &width, &height);
        if (width == windowWidth && height == windowHeight)
            break;
        SDL_Delay(10);
    }
}

void WindowBackend::simulateKeyPress() {
    simulateKeyPress(Key::Space);
}

void WindowBackend::simulateKeyPress(Key key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    for (const KeyName& name : keyNames)
        if (name.key == key)
            event.key.keysym.sym = name.sym;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(event.key.keysym.sym);
    SDL_PushEvent(&event);
}

void WindowBackend::simulateClose() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

std::unique_ptr<ConsoleBackend> makeWindowBackend(const WindowOptions& options) {
    return std::make_unique<WindowBackend>(options);
}

} // namespace ptc
