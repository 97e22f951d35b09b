#pragma once

#include <concepts>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/Parameter.h"
#include "device/ParameterSetting.h"
#include "device/Version.h"

namespace Hvd::Weft::Device
{

// All parameters (or settings) of one version, keyed and ordered by name.
template <typename T> class ParameterSet
{
public:
    ParameterSet() = default;
    explicit ParameterSet(Version version, std::string description = {})
        : mVersion(std::move(version))
        , mDescription(std::move(description))
    {
    }

    const Version& getVersion() const { return mVersion; }
    const std::string& getDescription() const { return mDescription; }
    const std::map<std::string, T>& getParameters() const { return mParameters; }

    // In name order.
    std::vector<T> toVector() const
    {
        std::vector<T> result;
        result.reserve(mParameters.size());
        for (const auto& [name, parameter] : mParameters)
            result.push_back(parameter);
        return result;
    }

    // Adds a parameter of a new name; an existing one is kept (returns false).
    bool insert(T parameter)
    {
        std::string name = parameter.getName();
        return mParameters.emplace(std::move(name), std::move(parameter)).second;
    }

    bool contains(const std::string& name) const { return mParameters.count(name) != 0; }

    // Throws std::invalid_argument for an unknown name.
    const T& at(const std::string& name) const
    {
        const auto it = mParameters.find(name);
        if (it == mParameters.end())
            throw std::invalid_argument("Parameter " + name + " not found");
        return it->second;
    }

    // The matching parameters in name order.
    std::vector<std::reference_wrapper<const Parameter>>
    query(const std::function<bool(const Parameter&)>& predicate) const requires std::same_as<T, Parameter>
    {
        std::vector<std::reference_wrapper<const Parameter>> result;
        for (const auto& [name, parameter] : mParameters)
        {
            if (predicate(parameter))
                result.emplace_back(parameter);
        }
        return result;
    }

private:
    Version mVersion;
    std::string mDescription;
    std::map<std::string, T> mParameters;
};

// At most one set per version, iterated in ascending version order.
template <typename T> class ParameterSetContainer
{
public:
    // Throws std::invalid_argument when no set has this version.
    const ParameterSet<T>& at(const Version& version) const
    {
        const auto it = mParameterSets.find(version);
        if (it == mParameterSets.end())
            throw std::invalid_argument("Version " + version.toString() + " not found");
        return it->second;
    }

    bool contains(const Version& version) const { return mParameterSets.count(version) != 0; }

    // The set of this version, created empty when missing.
    ParameterSet<T>& operator[](const Version& version)
    {
        return mParameterSets.try_emplace(version, ParameterSet<T>(version)).first->second;
    }

    // Adds a set of a new version; an existing one is kept (returns false).
    bool insert(ParameterSet<T> set)
    {
        const Version version = set.getVersion();
        return mParameterSets.emplace(version, std::move(set)).second;
    }

    void remove(const Version& version) { mParameterSets.erase(version); }
    bool isEmpty() const { return mParameterSets.empty(); }
    const std::map<Version, ParameterSet<T>>& getParameterSets() const { return mParameterSets; }

private:
    std::map<Version, ParameterSet<T>> mParameterSets;
};

// Finds the parameters that carry one role tag.
struct QueryTag
{
    Tag tag;

    bool operator()(const Parameter& parameter) const { return parameter.hasTag(tag); }
};

// Finds the parameters that carry every one of several tags.
struct QueryTags
{
    std::vector<Tag> tags;

    bool operator()(const Parameter& parameter) const
    {
        for (Tag tag : tags)
        {
            if (!parameter.hasTag(tag))
                return false;
        }
        return true;
    }
};

} // namespace Hvd::Weft::Device
