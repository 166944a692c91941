#pragma once
// What the window tests share: the real controller with a scripted desktop in a settings sandbox,
// the main window over it (never shown, so it starts no scan of its own), and ways to find rows
// of a scan's result.

#include "ControllerFixture.hpp"
#include "QtPrinters.hpp"

#include "ContentView.hpp"
#include "MainWindow.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace apptest {

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : c(&desktop), window(c) { window.resize(1320, 820); }

    tessary::ContentView& content() { return window.content(); }

    // A disk-only scan of `home`.
    void scanLocal(const LocalHome& home) {
        c.setEnvironment(home.env);
        c.setMode(tessary::ScanMode::fs);
        scanNow(c);
        ASSERT_TRUE(c.result()) << text(c.errorMessage().value_or("no error"));
    }
    // A dump scan of a generated world.
    void scanWorld(const SimWorld& world) {
        c.setEnvironment(world.env);
        scanNow(c);
        ASSERT_TRUE(c.result()) << text(c.errorMessage().value_or("no error"));
    }
    // The first item of the result (in id-map order) whose row satisfies `wanted`.
    std::optional<tessary::NodeDTO>
    findNode(const std::function<bool(const tessary::NodeDTO&, const tessary::Item&)>& wanted) {
        std::optional<tessary::NodeDTO> found;
        c.result()->forEachItem([&](tessary::Item& item) {
            if (found)
                return;
            tessary::NodeDTO node(item);
            node.parent = std::string(item.parent());
            if (wanted(node, item))
                found = node;
        });
        return found;
    }

    SettingsSandbox settings;
    ScriptedDesktop desktop;
    tessary::ScanController c;
    tessary::MainWindow window;
};

} // namespace apptest
