#include "core/EngineContext.h"

#include "core/ProfileLoader.h"

EngineContext::EngineContext(std::unique_ptr<Store> store) : m_store(std::move(store)) {}

void EngineContext::loadProfile(const QString& name)
{
    ProfileLoader::load(*m_store, name, m_profile, m_server);
}
