package kestrivane.qom.result;

/** An attribute name and its value as text. */
public class NameValue {
    private final String name;
    private final String value;

    public NameValue(String name, String value) {
        this.name = name;
        this.value = value;
    }

    public String getName() { return name; }

    public String getValue() { return value; }

    /** The name, then the value in quotes. */
    @Override
    public String toString() {
        return name + "=" + ResultText.quoted(value);
    }
}
