// SPDX-License-Identifier: BSD-2-Clause
// The two panel layouts and the keys that make them.

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "panel/connection_controller.h"
#include "panel/display_widget.h"
#include "panel/fix_window.h"
#include "panel/key_map.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_bar.h"

namespace {

struct ModeGeometry {
  int clientWidth, clientHeight;
  int panelX, panelY, panelWidth, panelHeight;
};
constexpr ModeGeometry kFourLine = {454, 286, 10, 30, 402, 65};
constexpr ModeGeometry kTwoLine = {479, 161, 120, 20, 310, 65};
// The zoom's steps on the keyboard; between them, and up to the last, the window's size.
constexpr int kZoomSteps[] = {100, 150, 200, 300, 400};
constexpr int kMinZoom = kZoomSteps[0];
constexpr int kMaxZoom = kZoomSteps[sizeof kZoomSteps / sizeof kZoomSteps[0] - 1];

const ModeGeometry& GeometryOf(const Panel& panel) {
  return panel.displayMode == kTwoLineMode ? kTwoLine : kFourLine;
}

// A length of the layout at the window's zoom.
int Zoomed(const Panel& panel, int length) {
  return length * panel.zoom / 100;
}

// Places a key at the zoom, its caption's font grown with it.
void PlaceButton(const Panel& panel, QPushButton* button, int x, int y, int width, int height) {
  button->setGeometry(Zoomed(panel, x), Zoomed(panel, y), Zoomed(panel, width),
                      Zoomed(panel, height));
  QFont font = QApplication::font();
  if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * panel.zoom / 100);
  button->setFont(font);
}

// A key of the panel, for a display mode; its tooltip names the keyboard's key for it.
QPushButton* MakeButton(Panel& panel, const char* caption, int commandId, int x, int y, int width,
                        int height, int mode) {
  auto* button = new QPushButton(QString::fromLatin1(caption), panel.client);
  PlaceButton(panel, button, x, y, width, height);
  if (const char* key = KeyboardNameFor(commandId, mode)) {
    button->setToolTip(QString("Keyboard: %1").arg(QString::fromLatin1(key)));
  }
  button->setProperty("commandId", commandId);
  button->setFocusPolicy(Qt::NoFocus);
  QObject::connect(button, &QPushButton::clicked, button,
                   [&panel, commandId] { panel.window->Trigger(commandId); });
  button->show();
  return button;
}

QPushButton*& FunctionKey(Panel& panel, int commandId) {
  return panel.functionKeys[commandId - kFirstKeyCommand];
}

void DestroyFunctionKeys(Panel& panel) {
  if (FunctionKey(panel, kFirstKeyCommand) == nullptr) return;
  for (QPushButton*& key : panel.functionKeys) {
    delete key;
    key = nullptr;
  }
}

// The function keys where the mode has them, at the zoom: text keys in four-line mode,
// image keys (ESC above them) in two-line mode.
void PlaceFunctionKeys(Panel& panel) {
  if (panel.displayMode == kFourLineMode) {
    for (int i = 0; i < kFunctionKeyCount; ++i) {
      const KeySpec& key = kKeys[i];
      PlaceButton(panel, FunctionKey(panel, key.commandId), key.x, key.y, key.width, key.height);
    }
    return;
  }
  for (const ImageKeySpec& key : kImageKeys) {
    QPushButton* button = FunctionKey(panel, key.commandId);
    PlaceButton(panel, button, key.x, kImageKeyY, kImageKeyWidth, kImageKeyHeight);
    auto image = panel.images.find(key.imageId);
    if (image != panel.images.end()) button->setIconSize(image->second.size() * panel.zoom / 100);
  }
  PlaceButton(panel, FunctionKey(panel, kFirstKeyCommand), kEscKeyX, kEscKeyY, kImageKeyWidth,
              kImageKeyHeight);
}

void CreateTextFunctionKeys(Panel& panel) {
  for (int i = 0; i < kFunctionKeyCount; ++i) {
    const KeySpec& key = kKeys[i];
    FunctionKey(panel, key.commandId) = MakeButton(panel, key.caption, key.commandId, key.x, key.y,
                                                   key.width, key.height, kFourLineMode);
  }
}

void CreateImageFunctionKeys(Panel& panel) {
  for (const ImageKeySpec& key : kImageKeys) {
    QPushButton* button = MakeButton(panel, "", key.commandId, key.x, kImageKeyY, kImageKeyWidth,
                                     kImageKeyHeight, kTwoLineMode);
    button->setFlat(true);
    auto image = panel.images.find(key.imageId);
    if (image != panel.images.end()) button->setIcon(QIcon(image->second));
    FunctionKey(panel, key.commandId) = button;
  }
}

void PlaceKeypad(Panel& panel) {
  for (int i = 0; i < panel.keypadCount; ++i) {
    const KeySpec& key = kKeys[kFunctionKeyCount + i];
    PlaceButton(panel, panel.keypadButtons[i], key.x, key.y, key.width, key.height);
  }
}

void ShowKeypad(Panel& panel, bool visible) {
  for (int i = 0; i < panel.keypadCount; ++i) panel.keypadButtons[i]->setVisible(visible);
}

// Everything where the mode has it at the zoom: the display, the keys and the banner in
// the client area, the status bar's fields. The window's size is left as it is.
void PlaceAtZoom(Panel& panel) {
  const ModeGeometry& mode = GeometryOf(panel);
  panel.display->setGeometry(Zoomed(panel, mode.panelX), Zoomed(panel, mode.panelY),
                             Zoomed(panel, mode.panelWidth), Zoomed(panel, mode.panelHeight));
  PlaceKeypad(panel);
  PlaceFunctionKeys(panel);
  panel.statusBar->SetZoom(panel.zoom);
  if (panel.banner != nullptr) {
    auto image = panel.images.find(kBannerImageId);
    if (image != panel.images.end()) {
      panel.banner->setScaledContents(true);
      panel.banner->resize(image->second.size() * panel.zoom / 100);
    }
  }
}

// The window sized to the mode at the zoom; it may be made larger, never smaller than the
// mode at 100%.
void SizeWindowToZoom(Panel& panel) {
  const ModeGeometry& mode = GeometryOf(panel);
  panel.window->SetClientSize(
      QSize(Zoomed(panel, mode.clientWidth), Zoomed(panel, mode.clientHeight)),
      QSize(mode.clientWidth, mode.clientHeight));
}

void LayOutFourLine(Panel& panel) {
  ShowKeypad(panel, true);
  SetUpDisplayFont(panel, kFourLineMode);
  DestroyFunctionKeys(panel);
  CreateTextFunctionKeys(panel);
  SetClientBackground(panel, false);
  if (panel.banner != nullptr) panel.banner->hide();
}

// false when this receiver has no two-line display: the panel falls back to four lines
// and connects again.
bool LayOutTwoLine(Panel& panel) {
  if (!panel.connection.identity.twoLineCapable) {
    panel.displayMode = kFourLineMode;
    ShowMessageBox(panel, "Two line mode could not be initialised.", "");
    CheckMenuRadioItem(panel, kTwoLineMode, kFourLineMode, kFourLineMode);
    PostCommand(panel, kConnectCommand);
    return false;
  }
  ShowKeypad(panel, false);
  DestroyFunctionKeys(panel);
  CreateImageFunctionKeys(panel);
  SetUpDisplayFont(panel, kTwoLineMode);
  SetClientBackground(panel, true);
  if (panel.banner != nullptr) panel.banner->show();
  return true;
}

}  // namespace

void CreateKeyButtons(Panel& panel) {
  for (int i = 0; i < kKeyCount; ++i) {
    const KeySpec& key = kKeys[i];
    QPushButton* button = MakeButton(panel, key.caption, key.commandId, key.x, key.y, key.width,
                                     key.height, kFourLineMode);
    if (i < kFunctionKeyCount) {
      FunctionKey(panel, key.commandId) = button;
    } else {
      panel.keypadButtons[panel.keypadCount++] = button;
    }
  }
}

void LoadImages(Panel& panel) {
  for (int id : kImageIds) {
    QPixmap image(QString(":/res/%1.png").arg(id));
    if (!image.isNull()) panel.images[id] = image;
  }
}

namespace {

// The mode's layout at the window's zoom. false when two lines were asked of a receiver
// that has none (it falls back to four, and connects again).
bool LayOut(Panel& panel) {
  if (panel.displayMode == kFourLineMode) {
    LayOutFourLine(panel);
  } else if (!LayOutTwoLine(panel)) {
    return false;
  }
  PlaceAtZoom(panel);  // first: the status bar's height at this zoom sizes the window too
  SizeWindowToZoom(panel);
  return true;
}

// The largest zoom at which the mode fits the client area as it is now, its lengths
// rounded as Zoomed rounds them.
int ZoomThatFits(const Panel& panel) {
  const ModeGeometry& mode = GeometryOf(panel);
  QSize room = panel.client->size();
  int fit = kMaxZoom;
  while (fit > kMinZoom && (mode.clientWidth * fit / 100 > room.width() ||
                            mode.clientHeight * fit / 100 > room.height())) {
    --fit;
  }
  return fit;
}

}  // namespace

void ApplyDisplayMode(Panel& panel) {
  if (!LayOut(panel)) return;
  panel.controller->SendKey(InitialKeyFor(panel.displayMode));
}

void SetZoom(Panel& panel, int percent) {
  if (panel.zoomBeforeFullScreen != 0) ToggleFullScreen(panel);  // a chosen zoom ends it
  panel.zoom = std::clamp(percent, kMinZoom, kMaxZoom);
  LayOut(panel);
  if (panel.fixWindow != nullptr) panel.fixWindow->SetZoom(panel.zoom);
}

void ToggleFullScreen(Panel& panel) {
  bool entering = panel.zoomBeforeFullScreen == 0;
  if (entering) {
    const ModeGeometry& mode = panel.displayMode == kTwoLineMode ? kTwoLine : kFourLine;
    QRect room = panel.window->screen()->availableGeometry();
    int bars = panel.window->menuBar()->sizeHint().height() + panel.statusBar->maximumHeight();
    int fit = std::min(room.width() * 100 / mode.clientWidth,
                       (room.height() - bars) * 100 / mode.clientHeight);
    panel.zoomBeforeFullScreen = panel.zoom;
    panel.zoom = std::clamp(fit, kMinZoom, kMaxZoom);
    panel.window->showFullScreen();
  } else {
    panel.zoom = panel.zoomBeforeFullScreen;
    panel.zoomBeforeFullScreen = 0;
    panel.window->showNormal();
  }
  auto found = panel.actions.find(kFullScreenCommand);
  if (found != panel.actions.end()) found->second->setChecked(entering);
  LayOut(panel);
}

int NextZoomStep(int zoom, int direction) {
  if (direction > 0) {
    for (int step : kZoomSteps)
      if (step > zoom) return step;
    return kMaxZoom;
  }
  int below = kMinZoom;
  for (int step : kZoomSteps)
    if (step < zoom) below = step;
  return below;
}

void FitLayoutToWindow(Panel& panel) {
  if (!panel.statusBarReady || panel.display == nullptr || panel.statusBar == nullptr) return;
  int fit = ZoomThatFits(panel);
  if (fit == panel.zoom) return;
  panel.zoom = fit;
  PlaceAtZoom(panel);
}

void CreateBannerImage(Panel& panel) {
  panel.banner = new QLabel(panel.client);
  panel.banner->setGeometry(0, 0, 30, panel.display->LineHeight() + 4);
  auto image = panel.images.find(kBannerImageId);
  if (image != panel.images.end()) {
    panel.banner->setPixmap(image->second);
    panel.banner->resize(image->second.size());  // the picture sets the control's size
  }
  panel.banner->hide();
}
