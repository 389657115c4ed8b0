// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>

#include <utility>

/**
 * One running operation of a kind a panel disables its controls for
 * (snapshots, reclaims): the model's count goes up at construction and down
 * at destruction, each change published through its setter. It may outlive
 * the model, whose count it then leaves alone.
 *
 * @code
 * const CountedOperation operation(*this, &MyModel::m_running, &MyModel::setRunning);
 * @endcode
 */
template <typename Model> class CountedOperation
{
public:
    using Setter = void (Model::*)(int);

    CountedOperation(Model &model, int Model::*count, Setter setter)
        : m_model(&model)
        , m_count(count)
        , m_setter(setter)
    {
        (model.*m_setter)(model.*m_count + 1);
    }
    CountedOperation(CountedOperation &&other) noexcept
        : m_model(std::exchange(other.m_model, nullptr))
        , m_count(other.m_count)
        , m_setter(other.m_setter)
    {
    }
    CountedOperation(const CountedOperation &) = delete;
    CountedOperation &operator=(const CountedOperation &) = delete;
    CountedOperation &operator=(CountedOperation &&) = delete;
    ~CountedOperation()
    {
        if (m_model)
            (m_model->*m_setter)(m_model->*m_count - 1);
    }

private:
    QPointer<Model> m_model;
    int Model::*m_count;
    Setter m_setter;
};
