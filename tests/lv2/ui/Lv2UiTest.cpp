// The LV2 UI the way a host embeds it, under Xvfb: found through lilv as the
// plug-in's X11 UI, its binary loaded and instantiated with ui:parent (and
// ui:resize and the idle interface), clicks answered with port writes, port
// events shown on the knobs, and the panel pixel for pixel the VST Linux
// editor's in the same state. Any X error fails.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/editor/x11/X11TestHost.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/PluginHost.h"

namespace {

using valvora::test::Capture;
using valvora::test::Lv2World;
using valvora::test::PluginHost;
using valvora::test::X11TestHost;

constexpr int kPanelWidth = 689;
constexpr int kPanelHeight = 140;
constexpr std::uint32_t kFirstControlPort = 4;
constexpr int kParameterCount = 14;
constexpr int kEnable = 0, kGain = 4, kOversample = 10;
// Where the controls sit on the panel (their centres).
constexpr int kOversampleX = 399, kOversampleY = 16;
constexpr int kPowerX = 655, kPowerY = 86;
constexpr int kGainX = 199, kGainY = 86;

// Pixels that differ between two captures of the panel; -1 when their
// sizes differ.
long differingPixels(const Capture& a, const Capture& b)
{
    if (a.width != b.width || a.height != b.height) return -1;
    long count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) count += std::memcmp(a.at(x, y), b.at(x, y), 3) != 0;
    return count;
}

// The host's end of one UI instance.
class UiHost {
public:
    UiHost(X11TestHost& x, Window parent) : x_(x), parent_(parent) {}
    ~UiHost() { close(); }

    struct Write {
        std::uint32_t port;
        float value;
    };

    // Finds the plug-in's UI the way a host does and loads its binary.
    static std::string uiBinary(Lv2World& world, std::string& uiClass)
    {
        LilvUIs* uis = lilv_plugin_get_uis(world.plugin());
        std::string path;
        LILV_FOREACH(uis, i, uis)
        {
            const LilvUI* ui = lilv_uis_get(uis, i);
            const LilvNodes* classes = lilv_ui_get_classes(ui);
            LILV_FOREACH(nodes, c, classes) uiClass = lilv_node_as_uri(lilv_nodes_get(classes, c));
            char* file = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
            if (file) path = file;
            lilv_free(file);
        }
        lilv_uis_free(uis);
        return path;
    }

    // Instantiates the UI with the features named; false if it refused.
    bool open(const std::string& binary, bool withParent = true, const char* pluginUri = VALVORA_LV2_URI)
    {
        library_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library_) return false;
        auto entry =
            reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(dlsym(library_, "lv2ui_descriptor"));
        if (!entry || !(descriptor_ = entry(0))) return false;
        std::vector<const LV2_Feature*> features{&resizeFeature_, &idleFeature_};
        if (withParent) features.push_back(&parentFeature_);
        features.push_back(nullptr);
        handle_ = descriptor_->instantiate(descriptor_, pluginUri, VALVORA_LV2_BUNDLE, &UiHost::write, this,
                                           &widget_, features.data());
        x_.sync();
        return handle_ != nullptr;
    }

    void close()
    {
        if (handle_) descriptor_->cleanup(handle_);
        handle_ = nullptr;
        x_.sync();
        if (library_) dlclose(library_);
        library_ = nullptr;
    }

    void portEvent(std::uint32_t port, float value)
    {
        descriptor_->port_event(handle_, port, sizeof value, 0, &value);
    }
    // A host after instantiation: every control port's value, once.
    void sendAll(const float (&values)[kParameterCount])
    {
        for (int p = 0; p < kParameterCount; ++p) portEvent(kFirstControlPort + p, values[p]);
    }

    // One round of the host's UI loop; the idle function's answer.
    int idle()
    {
        auto* iface =
            static_cast<const LV2UI_Idle_Interface*>(descriptor_->extension_data(LV2_UI__idleInterface));
        x_.sync();
        const int closed = iface ? iface->idle(handle_) : -1;
        x_.sync();
        return closed;
    }

    Window window() const { return static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget_)); }
    const LV2UI_Descriptor* descriptor() const { return descriptor_; }
    std::vector<Write> writes;
    int width = 0, height = 0;

private:
    static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                      std::uint32_t protocol, const void* buffer)
    {
        auto* host = static_cast<UiHost*>(controller);
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(protocol, 0u);
        float value;
        std::memcpy(&value, buffer, sizeof value);
        host->writes.push_back({port, value});
    }
    static int resize(LV2UI_Feature_Handle handle, int w, int h)
    {
        auto* host = static_cast<UiHost*>(handle);
        host->width = w;
        host->height = h;
        return 0;
    }

    X11TestHost& x_;
    Window parent_;
    void* library_ = nullptr;
    const LV2UI_Descriptor* descriptor_ = nullptr;
    LV2UI_Handle handle_ = nullptr;
    LV2UI_Widget widget_ = nullptr;
    LV2UI_Resize resize_{this, &UiHost::resize};
    LV2_Feature resizeFeature_{LV2_UI__resize, &resize_};
    LV2_Feature idleFeature_{LV2_UI__idleInterface, nullptr};
    LV2_Feature parentFeature_{LV2_UI__parent, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent_))};
};

class Lv2Ui : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(x.display(), nullptr) << "no X display (DISPLAY unset?)";
        std::string uiClass;
        binary = UiHost::uiBinary(world, uiClass);
        ASSERT_FALSE(binary.empty()) << "the plug-in lists no UI";
        ASSERT_EQ(uiClass, LV2_UI__X11UI);
        parent = x.createTopLevel();
        ASSERT_NE(parent, 0u);
        ui = std::make_unique<UiHost>(x, parent);
        X11TestHost::takeErrorCount();
    }
    void TearDown() override
    {
        ui.reset();
        if (parent) x.destroy(parent);
        EXPECT_EQ(X11TestHost::takeErrorCount(), 0) << "X errors";
    }

    // The VST module's values for a program, as a host would report the
    // LV2 ports after loading the same preset.
    static void programValues(int program, float (&values)[kParameterCount])
    {
        PluginHost vst(VALVORA_MODULE_PATH);
        ASSERT_NE(vst.open(), nullptr) << vst.loadError();
        vst.dispatch(effSetProgram, 0, program);
        for (int p = 0; p < kParameterCount; ++p) values[p] = vst.getParameter(p);
    }

    // The VST Linux editor showing these values, in a window of its own.
    Capture vstEditorShowing(const float (&values)[kParameterCount])
    {
        PluginHost vst(VALVORA_MODULE_PATH);
        if (!vst.open()) return {};
        for (int p = 0; p < kParameterCount; ++p) vst.setParameter(p, values[p]);
        const Window top = x.createTopLevel();
        Capture shown;
        if (vst.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(top)) == 1) {
            x.sync();
            vst.dispatch(effEditIdle);
            x.sync();
            shown = x.capture(x.editorIn(top));
        }
        vst.close();
        x.destroy(top);
        return shown;
    }

    X11TestHost x;
    Lv2World world{VALVORA_LV2_BUNDLE, VALVORA_LV2_URI};
    std::string binary;
    Window parent = 0;
    std::unique_ptr<UiHost> ui;
};

}  // namespace

TEST_F(Lv2Ui, opensAsAChildOfTheHostsWindowAtThePanelSizeAndAsksForThatSize)
{
    ASSERT_TRUE(ui->open(binary));
    ASSERT_NE(ui->window(), 0u);
    EXPECT_EQ(x.editorIn(parent), ui->window());
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(x.display(), ui->window(), &a));
    EXPECT_EQ(a.width, kPanelWidth);
    EXPECT_EQ(a.height, kPanelHeight);
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_EQ(ui->width, kPanelWidth);
    EXPECT_EQ(ui->height, kPanelHeight);
    EXPECT_NE(ui->descriptor()->extension_data(LV2_UI__idleInterface), nullptr);
    EXPECT_EQ(ui->idle(), 0);
    EXPECT_TRUE(ui->writes.empty()) << "opening must not change the plug-in";
}

TEST_F(Lv2Ui, refusesAHostWithoutAParentWindowAndAnotherPlugin)
{
    EXPECT_FALSE(ui->open(binary, false));
    ui->close();
    EXPECT_FALSE(ui->open(binary, true, "http://kelmo.example/plugins/another"));
    ui->close();
    EXPECT_TRUE(x.children(parent).empty());
}

TEST_F(Lv2Ui, aButtonClickWritesItsPortWithTheSwitchedValue)
{
    float values[kParameterCount];
    programValues(0, values);
    ASSERT_TRUE(ui->open(binary));
    ui->sendAll(values);
    ui->idle();
    x.click(ui->window(), kOversampleX, kOversampleY);
    ui->idle();
    ASSERT_EQ(ui->writes.size(), 1u);
    EXPECT_EQ(ui->writes[0].port, kFirstControlPort + kOversample);
    EXPECT_EQ(ui->writes[0].value, values[kOversample] >= 0.5f ? 0.0f : 1.0f);

    ui->writes.clear();
    x.click(ui->window(), kPowerX, kPowerY);
    ui->idle();
    ASSERT_EQ(ui->writes.size(), 1u);
    EXPECT_EQ(ui->writes[0].port, kFirstControlPort + kEnable);
    EXPECT_EQ(ui->writes[0].value, values[kEnable] >= 0.5f ? 0.0f : 1.0f);
}

TEST_F(Lv2Ui, aKnobDragWritesItsPortAndTheHostsEchoChangesNothing)
{
    float values[kParameterCount];
    programValues(0, values);
    ASSERT_TRUE(ui->open(binary));
    ui->sendAll(values);
    ui->idle();
    x.press(ui->window(), kGainX, kGainY);
    x.move(ui->window(), kGainX, kGainY - 30);
    x.release(ui->window(), kGainX, kGainY - 30);
    ui->idle();
    ASSERT_FALSE(ui->writes.empty());
    const auto last = ui->writes.back();
    EXPECT_EQ(last.port, kFirstControlPort + kGain);
    EXPECT_GT(last.value, values[kGain]);
    EXPECT_LE(last.value, 1.0f);
    // The host reports the port's new value back: nothing more is written.
    ui->writes.clear();
    ui->portEvent(last.port, last.value);
    ui->idle();
    ui->idle();
    EXPECT_TRUE(ui->writes.empty());
}

TEST_F(Lv2Ui, aPortEventMovesTheKnobToWhereTheVstEditorShowsThatValue)
{
    float values[kParameterCount];
    programValues(0, values);
    ASSERT_TRUE(ui->open(binary));
    ui->sendAll(values);
    ui->idle();
    const Capture before = x.capture(ui->window());
    values[kGain] = 0.93f;
    ui->portEvent(kFirstControlPort + kGain, values[kGain]);
    ui->idle();
    const Capture after = x.capture(ui->window());
    EXPECT_GT(differingPixels(after, before), 0) << "the Gain knob did not move";
    EXPECT_TRUE(ui->writes.empty()) << "a port event is not the user's change";
    ui->close();
    const Capture vst = vstEditorShowing(values);
    ASSERT_EQ(vst.width, kPanelWidth);
    EXPECT_EQ(differingPixels(after, vst), 0) << "the UI and the VST editor show Gain 0.93 differently";
}

TEST_F(Lv2Ui, showsEachProgramPixelForPixelAsTheVstLinuxEditor)
{
    for (int program : {0, 3, 5, 11}) {
        float values[kParameterCount];
        programValues(program, values);
        ASSERT_TRUE(ui->open(binary)) << program;
        ui->sendAll(values);
        ui->idle();
        const Capture shown = x.capture(ui->window());
        ui->close();
        const Capture vst = vstEditorShowing(values);
        ASSERT_EQ(shown.width, kPanelWidth) << program;
        ASSERT_EQ(shown.height, kPanelHeight) << program;
        EXPECT_EQ(differingPixels(shown, vst), 0) << "program " << program;
    }
}

TEST_F(Lv2Ui, idleSaysClosedOnceTheHostDestroyedItsWindowAndCleanupStillWorks)
{
    ASSERT_TRUE(ui->open(binary));
    EXPECT_EQ(ui->idle(), 0);
    x.destroy(parent);
    parent = 0;
    EXPECT_NE(ui->idle(), 0);
    ui->close();
}
