#include "image_tab.h"

#include "app/code_entry.h"
#include "app/main_window.h"
#include "app/put_actions.h"
#include "app/source_actions.h"

namespace framla::app {

ImageTab::ImageTab(ProgramState &state, MainWindow &window, server::TargetDisplay &display)
    : QObject(&window)
    , m_steps(state, window, display)
    , m_code(std::make_unique<CodeEntry>(m_steps))
    , m_source(std::make_unique<SourceActions>(m_steps))
    , m_put(std::make_unique<PutActions>(m_steps))
{}

ImageTab::~ImageTab() = default;

void ImageTab::undoCropping()
{
    m_source->undoCropping();
}

void ImageTab::stretchCrop(const imaging::StartingPress &press)
{
    m_source->stretchCrop(press);
}

void ImageTab::dragCrop(const imaging::StartingPress &press)
{
    m_source->dragCrop(press);
}

void ImageTab::refreshPictures()
{
    m_source->refreshPictures();
}

void ImageTab::lookUpCode()
{
    m_code->lookUpCode();
}

void ImageTab::lookUpName()
{
    m_code->lookUpName();
}

void ImageTab::chooseSource()
{
    m_source->chooseSourceByEnter();
}

void ImageTab::loadTypedSource()
{
    m_source->loadTypedSource();
}

void ImageTab::normaliseTargetName()
{
    m_code->normaliseTargetName();
}

void ImageTab::targetNameTyped()
{
    m_code->targetNameTyped();
}

void ImageTab::adjusted()
{
    m_source->adjusted();
}

} // namespace framla::app
