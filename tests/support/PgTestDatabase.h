#pragma once

// A schema of its own on the PostgreSQL server of the tests, named by $QUORVEL_TEST_PG (test.sh starts a
// throwaway cluster and sets it), dropped with everything in it at the end. Tests skip when the variable
// is not set or the server does not answer:
//
//     TPgTestDatabase db;
//     if (!db.Ready())
//         GTEST_SKIP() << db.Why();
//     auto engine = OpenPostgresRecords(db.Address());
#include <libpq-fe.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

class TPgTestDatabase {
public:
    TPgTestDatabase() {
        const char* server = std::getenv("QUORVEL_TEST_PG");
        if (!server || !*server) {
            Reason = "QUORVEL_TEST_PG names no PostgreSQL server (./test.sh starts one): skipped.";
            return;
        }
        Server = server;
        Admin = PQconnectdb(Server.c_str());
        if (PQstatus(Admin) != CONNECTION_OK) {
            const std::string error = PQerrorMessage(Admin);
            Reason = "The PostgreSQL server of QUORVEL_TEST_PG does not answer (" +
                     error.substr(0, error.find('\n')) + "): skipped.";
            return;
        }
        PQsetNoticeProcessor(
            Admin, [](void*, const char*) {}, nullptr);
        static int made = 0;
        Schema = "t_" + std::to_string(getpid()) + "_" + std::to_string(++made);
        try {
            Execute("CREATE SCHEMA " + Schema + "; SET search_path TO " + Schema);
        } catch (const std::runtime_error& e) {
            Reason = std::string("The test schema cannot be made: ") + e.what();
            Schema.clear();
        }
    }

    ~TPgTestDatabase() {
        if (!Schema.empty())
            PQclear(PQexec(Admin, ("DROP SCHEMA IF EXISTS " + Schema + " CASCADE").c_str()));
        for (const std::string& role : Roles)
            PQclear(PQexec(Admin, ("DROP OWNED BY " + role + "; DROP ROLE IF EXISTS " + role).c_str()));
        PQfinish(Admin);
    }

    TPgTestDatabase(const TPgTestDatabase&) = delete;
    TPgTestDatabase& operator=(const TPgTestDatabase&) = delete;

    bool Ready() const { return Reason.empty(); }
    const std::string& Why() const { return Reason; }

    // The server's address with the schema first on the search path, and more parameters ("user=bob"),
    // which win over the server's own.
    std::string Address(const std::vector<std::string>& more = {}) const {
        const bool uri = Server.rfind("postgresql://", 0) == 0 || Server.rfind("postgres://", 0) == 0;
        std::string address = Server;
        if (uri) {
            address += (Server.find('?') == std::string::npos ? "?" : "&");
            address += "options=-csearch_path%3D" + Schema;
            for (const std::string& parameter : more)
                address += "&" + parameter;
        } else {
            address += " options=-csearch_path=" + Schema;
            for (const std::string& parameter : more)
                address += " " + parameter;
        }
        return address;
    }

    // Runs SQL as the server's administrator in the schema; raises std::runtime_error with the server's
    // message. Gives the first value of the last statement's rows, or empty.
    std::string Execute(const std::string& sql) const {
        PGresult* result = PQexec(Admin, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        std::string value;
        if (status == PGRES_TUPLES_OK && PQntuples(result) > 0)
            value = PQgetvalue(result, 0, 0);
        const std::string error = PQresultErrorMessage(result);
        PQclear(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw std::runtime_error(sql + ": " + error);
        return value;
    }

    // Runs SQL on its own connection to address (as another login, say); raises std::runtime_error with
    // the server's message.
    static void ExecuteAs(const std::string& address, const std::string& sql) {
        PGconn* connection = PQconnectdb(address.c_str());
        PGresult* result = PQexec(connection, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        const std::string error =
            PQstatus(connection) != CONNECTION_OK ? PQerrorMessage(connection) : PQresultErrorMessage(result);
        PQclear(result);
        PQfinish(connection);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw std::runtime_error(sql + ": " + error);
    }

    // A login role of this test (name_<schema>), dropped at the end; the server must let the
    // administrator make roles.
    std::string MakeLogin(const std::string& name) {
        const std::string role = name + "_" + Schema;
        Execute("CREATE ROLE " + role + " LOGIN");
        Roles.push_back(role);
        return role;
    }

    const std::string& SchemaName() const { return Schema; }

private:
    std::string Server;
    std::string Reason;
    std::string Schema;
    std::vector<std::string> Roles;
    PGconn* Admin = nullptr;
};
